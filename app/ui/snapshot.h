// What a snapshot of the view holds besides the picture: its information
// text, the picture composed with the rendered text under it, and the next
// numbered file name.
#pragma once

#include "app/files/image.h"
#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"
#include "app/scan/surface_record.h"

#include <string>

// The process-wide options of the Save Snapshot dialog.
struct SnapshotOptions {
    bool viewSaved = false;
    bool autoNumber = false;
    bool cropToData = false;
    bool appendInfo = true;
    bool advancedShown = false;
    std::string lastName;
};
SnapshotOptions& Snapshot_Options();

// The information text: the shown surface in surface mode (2), else the sweeps.
std::string FormatSnapshotInfo(int32_t mode, const GeneralSettings& settings, const RawData* raw,
                               const SurfaceRecord& basic, const SurfaceRecord& rbf);
// The view picture, cropped to its opaque pixels on request, with the text
// picture (when given) under it; false without memory.
bool Snapshot_Compose(const Image& view, const Image* text, bool crop, Image& out);
// Lays the picture over the view's background colour (0x00BBGGRR): a
// picture drawn for capture leaves the background transparent, which viewers
// show in their own colour, often the white of a white wireframe. Every
// pixel becomes opaque.
void Snapshot_OverBackground(Image& image, uint32_t background);
// The name after this one: the number at the end of the name raised by one
// (keeping its width), or 2 appended to a name without one.
std::string Snapshot_NextName(const std::string& path);
