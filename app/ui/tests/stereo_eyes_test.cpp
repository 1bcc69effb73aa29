#include "app/ui/stereo_eyes.h"

#include <gtest/gtest.h>

namespace {

// Viewer 600 mm and object 100 mm from the screen: the eyes are
// atan(80 / 500) = 9.0903 degrees apart, each turned by half of it,
// cos 4.5451 = 0.996855 and sin 4.5451 = 0.079244.
TEST(StereoEyes, EachEyeTurnsByHalfTheAngleBehindTheObjectsPlane) {
    EXPECT_NEAR(Stereo_Angle(600, 100), 9.0903f, 1e-4f);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    struct Case {
        int32_t eye;
        float expected[16];
    } const cases[] = {
        {0, {0.996855f, 0, -0.079244f, 0, 0, 1, 0, 0, 0.079244f, 0, 0.996855f, 0, 0, 0, -100, 1}},
        {1, {0.996855f, 0, 0.079244f, 0, 0, 1, 0, 0, -0.079244f, 0, 0.996855f, 0, 0, 0, -100, 1}},
    };
    for (const Case& c : cases) {
        float out[16];
        Stereo_EyeProjection(identity, c.eye, 600, 100, out);
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(out[i], c.expected[i], 1e-5f) << "eye " << c.eye << " element " << i;
    }
}

// The frame's own projection comes first: an orthographic scale of 0.01 in
// x and y and -0.001 in z gives eye 0 the columns of the case above scaled
// row by row, the translation's -100 in z becoming 0.1.
TEST(StereoEyes, TheFramesProjectionIsAppliedAfterTheEyesMove) {
    const float ortho[16] = {0.01f, 0, 0, 0, 0, 0.01f, 0, 0, 0, 0, -0.001f, 0, 0, 0, 0, 1};
    float out[16];
    Stereo_EyeProjection(ortho, 0, 600, 100, out);
    const float expected[16] = {0.00996855f, 0, 0.000079244f,  0, 0, 0.01f, 0,    0,
                                0.00079244f, 0, -0.000996855f, 0, 0, 0,     0.1f, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(out[i], expected[i], 1e-7f) << i;
}

}  // namespace
