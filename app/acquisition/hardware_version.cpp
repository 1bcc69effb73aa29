#include "app/acquisition/hardware_version.h"

namespace {

constexpr HardwareVersionEntry kVersions[] = {
    {"1.1.1", 1, 1, 1, 2, 0, 0, 0, -140.0f, false},
    {"2.1.1", 2, 1, 1, 1, 0, 0, 0, -90.0f, false},
    {"2.2.1", 2, 2, 1, 1, 1, 1, 0, -90.0f, false},
    {"2.3.1", 2, 3, 1, 2, 1, 1, 0, -90.0f, false},
    {"2.4.1", 2, 4, 1, 1, 1, 1, 1, -90.0f, true},
    {"2.4.2", 2, 4, 2, 1, 1, 0, 1, -90.0f, true},
};

}  // namespace

const HardwareVersionEntry* FindHardwareVersion(std::int32_t major, std::int32_t minor, std::int32_t revision,
                                                std::int32_t checkWord) {
    if (checkWord != 1) return nullptr;
    for (const HardwareVersionEntry& entry : kVersions) {
        if (entry.major == major && entry.minor == minor && entry.revision == revision) return &entry;
    }
    return nullptr;
}

Matrix4 MakeWandRxOffsetMatrix(float offsetTranslation) {
    Matrix4 m;
    M4_Identity(m);
    M4_RotateX(-90.0f, m);
    M4_RotateY(90.0f, m);
    M4_Translate(Vec3{0.0f, 0.0f, offsetTranslation}, m);
    return m;
}

HardwareModel MakeHardwareModel(const HardwareVersionEntry& entry) {
    HardwareModel model;
    model.versionText = entry.text;
    model.channelCount = entry.channelCount;
    model.parityProperty = entry.parityProperty;
    model.trackerSetupProperty = entry.trackerSetupProperty;
    model.fixedWandProperty = entry.fixedWandProperty;
    model.alternativeLayout = entry.alternativeLayout;
    model.wandRxOffsetMatrix = MakeWandRxOffsetMatrix(entry.offsetTranslation);
    return model;
}
