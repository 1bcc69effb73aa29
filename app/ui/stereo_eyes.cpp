#include "app/ui/stereo_eyes.h"

#include <cmath>

namespace {

constexpr float kPi = 3.1415927f;

// a x b, column-major.
void Multiply(const float a[16], const float b[16], float out[16]) {
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
            out[column * 4 + row] = sum;
        }
}

}  // namespace

float Stereo_Angle(float viewerToScreen, float objectToScreen) {
    return std::atan(80.0f / (viewerToScreen - objectToScreen)) * 180.0f / kPi;
}

void Stereo_EyeProjection(const float projection[16], int32_t eye, float viewerToScreen, float objectToScreen,
                          float out[16]) {
    const float turn = (0.5f - static_cast<float>(eye)) * Stereo_Angle(viewerToScreen, objectToScreen) * kPi / 180.0f;
    const float c = std::cos(turn), s = std::sin(turn);
    // The translation, then the turn about y, as glTranslatef and glRotatef
    // apply them to the projection.
    const float move[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, -objectToScreen, 1};
    Multiply(projection, move, out);
}
