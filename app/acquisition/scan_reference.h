// Changes of the scan's frame of reference: a move of the receiver or the
// transmitter re-expresses the whole scan by one rigid transform, and a
// change between the receiver and the transmitter as reference re-expresses
// every profile by the pose it was made with. Both take the undone sweeps
// along, so that a redo brings them back in the new frame.
#pragma once

#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"

#include <cstdint>

// The data moved by X: the view's origin moves with it and its matrix turns
// by X's inverse rotation, so what is on the screen stays where it was.
void View_ApplyDataTransform(const Matrix4& x, ViewSettings& view);

// Every profile's points by X and its reference pose by X's inverse, the
// scan's points and normals, and every stylus item held (undone sweeps and
// items too).
void Scan_ApplyMoveTransform(RawData& raw, const Matrix4& x, ViewSettings& view);

// The move transforms of the two wizards from their two captured poses.
Matrix4 MoveReceiverTransform(const Matrix4& before, const Matrix4& after);
Matrix4 MoveTransmitterTransform(const Matrix4& before, const Matrix4& after);

// Switches every profile between receiver and transmitter reference; false
// (nothing changed) with no profile. The caller resets the scan's derived
// points and repaints.
bool ChangeReference(RawData& raw, ViewSettings& view);

// Empties the points and facets made from the profiles, so that processing
// makes them again in the profiles' new frame.
void Scan_ForgetDerivedPoints(RawData& raw);
// Makes the points and facets of every profile again in its new frame, those
// of the undone sweeps too (which stay undone); processing's result.
int32_t Scan_RemakeDerivedPoints(RawData& raw, int32_t filterLength, float worstResolution);

// The averaged pose of one trigger press on a capture page.
struct MatrixCaptureStats {
    int32_t accumulating = 0;
    int32_t count = 0;
    Matrix4 sum{}, minimum{}, maximum{};
};

void MatrixCapture_Begin(MatrixCaptureStats& stats);
void MatrixCapture_Add(MatrixCaptureStats& stats, const Matrix4& m);
// The end of the press: false with fewer than 10 samples; else the mean with
// its rotation made orthonormal, and the largest element spread.
bool MatrixCapture_Finish(MatrixCaptureStats& stats, Matrix4& mean, float& spread);
