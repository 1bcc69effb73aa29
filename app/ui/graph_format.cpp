#include "app/ui/graph_format.h"

#include <cmath>
#include <cstring>

int32_t Graph_ScorePixelFormat(const PixelFormatTraits& f, const PixelFormatWishes& wishes) {
    if (!f.supportsOpenGL || !f.drawsToWindow || !f.rgba || !f.doubleBuffered || f.swapExchange) return 0;
    if (f.colourBits < 15 || f.depthBits < 16) return 0;
    if (wishes.stencil && f.stencilBits < 8) return 0;
    const bool software = f.generic && !f.accelerated;
    int32_t score = 1;
    if (wishes.stereo && f.stereo) score += 128;
    if (software == wishes.disableHardware) score += 64;
    if (f.swapCopy) score += 32;
    if (f.alphaBits > 0) score += 16;
    if (wishes.stencil && f.stencilBits > 8) score += 8;
    if (f.colourBits > 15) score += 4;
    if (f.depthBits > 16) score += 2;
    return score;
}

int32_t Graph_ChoosePixelFormat(const std::vector<PixelFormatTraits>& formats, const PixelFormatWishes& wishes) {
    int32_t best = 0, bestScore = 0;
    for (size_t i = 0; i < formats.size(); ++i) {
        const int32_t score = Graph_ScorePixelFormat(formats[i], wishes);
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<int32_t>(i) + 1;
        }
    }
    return best;
}

float Graph_FarPlane(float depthExtent, int32_t depthBits) {
    const double units = std::ldexp(1.0, depthBits);
    return static_cast<float>(depthExtent * (units - 4.0) / units);
}

OrthoBox Graph_OrthoBox(int32_t width, int32_t height, float scale, float zoom) {
    const double cx = width / 2 + 0.5, cy = height / 2 + 0.5;
    const double f = static_cast<double>(scale) / zoom;
    return {-cx * f, (width - cx) * f, -(height - cy) * f, cy * f};
}

bool Gl_HasExtensionIn(const char* extensions, const char* name) {
    if (!extensions || !name || !*name || std::strchr(name, ' ')) return false;
    const size_t n = std::strlen(name);
    for (const char* at = extensions; (at = std::strstr(at, name)) != nullptr; at += n) {
        const bool starts = at == extensions || at[-1] == ' ';
        const bool ends = at[n] == ' ' || at[n] == '\0';
        if (starts && ends) return true;
    }
    return false;
}

std::string Graph_CleanText(const std::string& text) {
    std::string clean = text.substr(0, 255);
    for (char& c : clean) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u >= 128) c = ' ';
    }
    return clean;
}
