// The Wavefront writer: an OBJ file and, with grey values, a material
// library beside it (and in the texture mode a grey-ramp image).
#pragma once

#include <cstdint>
#include <string>

#include "app/export/export_common.h"

// The image the texture material maps, written beside its library.
constexpr const char* kWavefrontTextureImage = "greyscalemap.png";

int Wavefront_DigitCount(int32_t n);
float Wavefront_FacetLevelMean(const int32_t* facet, const float* albedos);
float Wavefront_QuadLevelMean(const int32_t* quad, const float* albedos);

// 0 success; 1 the OBJ, the material library or the image could not be
// created; 2 a write failed. The library and the image are in place before
// the OBJ that names them; on any failure the OBJ keeps its old content.
int Wavefront_Write(const std::string& path, const std::string& creator, const std::string& comment,
                    const char* endOfLine, const Matrix4* matrix, const ExportData& data, bool byColour,
                    bool textureMap);
