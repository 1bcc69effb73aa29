// The PSL writer: the shown sweeps as captured, sweep by sweep and profile
// by profile, each profile with its viewing direction.
#pragma once

#include <cstdint>
#include <string>

#include "app/acquisition/visible_profiles.h"
#include "app/export/export_common.h"

// The direction the scanner looked along when it captured the profile.
Vec3 Psl_ViewingDirection(const VisibleProfileRecord& profile, const Matrix4& baseTransform, const Matrix4* matrix);

// 0 success, 1 the file could not be created, 2 a write failed (the target
// is then left as it was).
int Psl_Write(const std::string& path, const std::string& creator, const std::string& comment, const Matrix4* matrix,
              const Matrix4& baseTransform, const VisibleProfiles& profiles);
