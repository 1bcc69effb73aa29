// The view's portable arithmetic: the pixel-format choice, the depth range,
// the orthographic box of the 3D projection, the extension-name test and the
// clean-up of overlay texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the view needs to know of one pixel format.
struct PixelFormatTraits {
    bool supportsOpenGL = false;
    bool drawsToWindow = false;
    bool rgba = false;
    bool doubleBuffered = false;
    bool swapExchange = false;
    bool swapCopy = false;
    bool stereo = false;
    bool generic = false;      // the system's software implementation
    bool accelerated = false;  // a generic format with an accelerating driver
    int32_t colourBits = 0;
    int32_t depthBits = 0;
    int32_t stencilBits = 0;
    int32_t alphaBits = 0;
};

struct PixelFormatWishes {
    bool stereo = false;           // StereoEnabled
    bool disableHardware = false;  // DisableGraphicsHardware
    bool stencil = false;          // the window picks stylus items
};

// 0 for a format the view cannot use, else 1 plus the bonuses of what it offers.
int32_t Graph_ScorePixelFormat(const PixelFormatTraits& format, const PixelFormatWishes& wishes);
// The 1-based number of the best format (the first of equal best scores), 0 when none is usable.
int32_t Graph_ChoosePixelFormat(const std::vector<PixelFormatTraits>& formats, const PixelFormatWishes& wishes);

// The far plane sits four depth units inside the buffer's range, so a drawn
// fragment never reads back as 1.0 and 1.0 always means "nothing here".
float Graph_FarPlane(float depthExtent, int32_t depthBits);

// The orthographic box of the 3D view: the view centre at pixel
// (w/2 + 0.5, h/2 + 0.5), `scale` millimetres a pixel at zoom 1.
struct OrthoBox {
    double left, right, bottom, top;
};
OrthoBox Graph_OrthoBox(int32_t width, int32_t height, float scale, float zoom);

// Whether `name` is a whole word of the blank-separated extension list.
bool Gl_HasExtensionIn(const char* extensions, const char* name);

// The text as the bitmap font can draw it: at most 255 characters, every
// character below 32 or from 128 on replaced by a blank.
std::string Graph_CleanText(const std::string& text);
