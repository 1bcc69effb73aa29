#include "app/acquisition/profile_line_log.h"

#include <cstdlib>

namespace {

constexpr std::size_t kArrayBytes[5] = {sizeof(float), sizeof(std::int32_t), sizeof(std::int32_t),
                                        sizeof(std::int32_t), sizeof(Vec3)};

}  // namespace

bool ProfileLineLog_Ensure(Profile& profile) {
    if (profile.Extra) return true;
    auto* extra = static_cast<ProfileExtra*>(std::calloc(1, sizeof(ProfileExtra)));
    if (!extra) return false;
    for (int a = 0; a < 5; ++a) {
        extra->Arrays[a] = std::malloc(kArrayBytes[a] * kProfileLineLogCapacity);
        if (!extra->Arrays[a]) {
            for (void* made : extra->Arrays) std::free(made);
            std::free(extra);
            return false;
        }
    }
    profile.Extra = extra;
    return true;
}

ProfileLineLog ProfileLineLog_Get(const Profile& profile) {
    ProfileExtra* e = profile.Extra;
    return ProfileLineLog{&e->Count,
                          static_cast<float*>(e->Arrays[0]),
                          static_cast<std::int32_t*>(e->Arrays[1]),
                          static_cast<std::int32_t*>(e->Arrays[2]),
                          static_cast<std::int32_t*>(e->Arrays[3]),
                          static_cast<Vec3*>(e->Arrays[4])};
}
