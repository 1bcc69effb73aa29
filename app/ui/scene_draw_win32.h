// Drawing of the view's scenes into the current window's back buffer: the
// growing scan (sweeps view, full or incremental), its fast preview, a
// surface, the camera samples, the rubber band, images, and the repaint that
// only shows the kept back buffer again.
#pragma once

#include "app/export/ortho_model.h"
#include "app/files/image.h"
#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"
#include "app/scan/surface_record.h"

#include <windows.h>

#include <cstdint>

int32_t Graph_DrawScanView(HWND window, const GeneralSettings& settings, const ViewSettings& view, RawData& raw);
int32_t Graph_DrawScanPreview(HWND window, const GeneralSettings& settings, const ViewSettings& view, RawData& raw);
// The previews (repaint level 1) draw the stylus items over the points, as
// the full frames do.
int32_t Graph_DrawPointsView(HWND window, const GeneralSettings& settings, const ViewSettings& view,
                             const SurfaceRecord& surface, const StylusItemList* stylus);
int32_t Graph_DrawScene(HWND window, const GeneralSettings& settings, const ViewSettings& view,
                        const SurfaceRecord& surface, const StylusItemList* stylus);
// The camera view: the live field's samples (segments of the staging
// profile's line log), drawn when the full-redraw flag is set.
int32_t Graph_DrawCameraSamples(HWND window, RawData& raw);
// The calibration modes: every kept profile's samples over the earlier ones,
// the range gauge (its marks at 125 and 250 mm for processing units of
// version 1, else 100 and 200 mm) and the live field's samples.
int32_t Graph_DrawSampleView(HWND window, RawData& raw, char version);
// The orthotics tools' slices as lit strips, seen through the view settings:
// with Options bit 2 their edges too (the strips' first and last columns in
// red, the others in black), and a ball at each landmark point in the
// complement of PreviewColour. The frame is presented.
int32_t Graph_DrawStripSurface(HWND window, const GeneralSettings& settings, const ViewSettings& view,
                               const OrthoModel& model);
// Level 0: the back buffer shown again with the overlays.
int32_t Graph_PresentOverlay(HWND window);
int32_t Graph_ClearFrame(HWND window);
// An image with its top-left corner at the normalised position (x, y), from
// the left and the bottom.
void Graph_DrawImage(const Image* image, float x, float y);
// The rubber band of the window's navigation, into the front buffer.
void Graph_DrawRubberBand(HWND window);
// Reads the back buffer into the record's captured pixels; false without memory.
bool Graph_CapturePixels(HWND window);
// The captured pixels as an RGBA image, rows from the top; false when none.
bool Graph_TakeCapture(HWND window, Image& image);
void Graph_RequestCapture(HWND window);
