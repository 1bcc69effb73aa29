#include "app/ui/camera_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct CameraLog {
    std::vector<float> poses;  // 16 floats each
    std::function<void()> listener;
};

CameraLog& Log() {
    static CameraLog log;
    return log;
}

}  // namespace

void CameraLog_Add(const float pose[16]) {
    CameraLog& log = Log();
    if (CameraLog_Count() >= kCameraLogCapacity) return;
    log.poses.insert(log.poses.end(), pose, pose + 16);
    if (log.listener) log.listener();
}

int32_t CameraLog_Count() { return static_cast<int32_t>(Log().poses.size() / 16); }

const float* CameraLog_Pose(int32_t index) {
    if (index < 0 || index >= CameraLog_Count()) return nullptr;
    return Log().poses.data() + static_cast<size_t>(index) * 16;
}

void CameraLog_Clear() { Log().poses.clear(); }

void CameraLog_SetListener(std::function<void()> listener) { Log().listener = std::move(listener); }

std::string CameraLog_Text() {
    std::string text;
    char number[64];
    for (int32_t i = 0; i < CameraLog_Count(); ++i) {
        const float* pose = CameraLog_Pose(i);
        for (int k = 0; k < 16; ++k) {
            std::snprintf(number, sizeof number, "%.10f ", pose[k]);
            text += number;
        }
        text += '\n';
    }
    return text;
}

CameraLogWrite CameraLog_WriteFile(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        error = std::strerror(errno);
        return CameraLogWrite::OpenFailed;
    }
    const std::string text = CameraLog_Text();
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return CameraLogWrite::Written;
    error = std::strerror(errno);
    return CameraLogWrite::WriteFailed;
}
