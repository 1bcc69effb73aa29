// The two eyes of a stereo view: each eye sees the frame through the
// frame's projection moved back to the object's plane and turned about the
// vertical axis by half the stereo angle, left eye one way, right eye the
// other. Matrices are OpenGL's: 16 floats, column after column.
#pragma once

#include <cstdint>

// The angle between the eyes, in degrees: atan(80 / (viewer - object)),
// both distances from the screen in millimetres.
float Stereo_Angle(float viewerToScreen, float objectToScreen);
// The projection of eye 0 (left) or 1 (right): `projection` x a translation
// by -objectToScreen along z x a rotation by (0.5 - eye) x the angle about y.
void Stereo_EyeProjection(const float projection[16], int32_t eye, float viewerToScreen, float objectToScreen,
                          float out[16]);
