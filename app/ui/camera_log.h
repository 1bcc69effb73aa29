// The texture camera's position log: the wand poses recorded while the
// texture camera mode is on, one per capture request, kept for the run of
// the program (not saved with the settings) and written to a text file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Poses the log holds; further poses are ignored.
constexpr int32_t kCameraLogCapacity = 4096;

// Appends one pose (16 floats in memory order) and tells the listener.
void CameraLog_Add(const float pose[16]);
int32_t CameraLog_Count();
// The pose at `index` (16 floats), or null outside the log.
const float* CameraLog_Pose(int32_t index);
void CameraLog_Clear();
// Called after each pose added (the dialog shows the new count); empty: none.
void CameraLog_SetListener(std::function<void()> listener);

// The log's text: one line per pose, its 16 elements each as "%.10f "
// (ten decimals and a blank), then a line break.
std::string CameraLog_Text();
enum class CameraLogWrite { Written, OpenFailed, WriteFailed };
// Writes the text to the file, opened for text writing; nothing is written
// when it cannot be opened. On failure, the system's error text.
CameraLogWrite CameraLog_WriteFile(const std::string& path, std::string& error);
