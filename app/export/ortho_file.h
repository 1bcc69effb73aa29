// The two orthotics files: AAOP (a limb as radii at fixed angles, the
// "CYLINDRICAL" layout) and OP3 (a foot and leg as 3D outline points). Lines
// end in CR LF and numbers use a decimal point whatever the locale; the file
// goes through a files::SafeFileWriter, so a failed write keeps the earlier
// file and leaves the model unsaved.
#pragma once

#include <string>

#include "app/export/ortho_model.h"

// 0 written (the model's saved flag set), 5 "Save failed:\n    %s".
int Aaop_WriteFile(OrthoModel& model, const std::string& path, bool writeNames, std::string& errorText);
int Op3_WriteFile(OrthoModel& model, const std::string& path, bool writeNames, std::string& errorText);

// "%d-%b-%Y, %H:%M:%S" of the local time; the month's short name follows the
// locale's time category.
std::string Ortho_DateText();
