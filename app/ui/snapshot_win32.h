// The Save Snapshot command and the image capture of the view.
#pragma once

#include "app/files/image.h"
#include "app/ui/snapshot.h"

#include <windows.h>

#include <functional>
#include <string>

// The Save dialog: true with the chosen path; false on cancel (error 0) or
// failure (the dialog's error code). Tests install their own.
using SnapshotDialog = std::function<bool(HWND owner, std::string& path, SnapshotOptions& options, DWORD& error)>;
void Snapshot_SetDialog(SnapshotDialog dialog);
bool RunSnapshotSaveDialog(HWND owner, std::string& path, SnapshotOptions& options, DWORD& error);

// The text rendered black on white as an RGBA picture of that width.
bool Text_RenderToBitmap(int32_t width, Image& image, const std::string& text);
// Composes the view picture, laid over the view's background colour, and the
// information text (none: no text) and writes it.
bool Snapshot_WriteImage(const std::string& path, const std::string* infoText, const Image& view, uint32_t background);
// File > Save Snapshot.
void SaveSnapshot();
// Capture Image: only when the capture script exists.
void CaptureImageCommand();
