#include "app/ui/input_handlers.h"

#include "app/scan/raw_data.h"
#include "app/ui/app_state.h"
#include "app/ui/shell_hooks.h"

#include <cstdio>
#include <sstream>

bool DefaultInputHandler<int>::Parse(const char* text, int& value, std::string& error) {
    std::istringstream in(text ? text : "");
    if (in >> value) return true;
    error = "Invalid Value";
    return false;
}

bool ProfilePointInputHandler::Parse(const char* text, ProfilePoint& value, std::string& error) {
    if (text && std::sscanf(text, "%d:%d", &value.profile, &value.point) == 2) return true;
    error = "Parse Error";
    return false;
}

bool ProfilePointInputHandler::Validate(const ProfilePoint& value, std::string& error) {
    if (value.profile < 0 || value.profile >= raw_.NumProfiles) {
        error = "Profile index out of bounds.";
        return false;
    }
    if (value.point < 0 || value.point >= raw_.Profiles[value.profile].NumPoints) {
        error = "Point index out of bounds.";
        return false;
    }
    return true;
}

bool ProfilePointInputHandler::Apply(const ProfilePoint& value, std::string&) {
    PointCursor_Goto(raw_, App_PointCursor(), value.profile, value.point);
    return true;
}

PointCursor& App_PointCursor() {
    static PointCursor cursor;
    return cursor;
}

bool PointCursor_Goto(RawData& raw, PointCursor& cursor, int32_t profile, int32_t point) {
    bool anyPoint = false;
    for (int32_t p = 0; p < raw.NumProfiles && !anyPoint; ++p) anyPoint = raw.Profiles[p].NumPoints > 0;
    if (!anyPoint) return false;
    if (profile == -1 && point == 1) {
        profile = cursor.profile;
        point = cursor.point + 1;
    }
    if (profile < 0 || profile >= raw.NumProfiles) profile = 0;
    if (point < 0) point = 0;
    while (point >= raw.Profiles[profile].NumPoints) {
        point = 0;
        profile = profile + 1 < raw.NumProfiles ? profile + 1 : 0;
    }
    cursor.profile = profile;
    cursor.point = point;
    cursor.position = raw.Profiles[profile].Points[point];
    cursor.placed = true;
    if (Shell_Hooks().postRepaint) Shell_Hooks().postRepaint(3);
    return true;
}

bool PointCursor_Goto(int32_t profile, int32_t point) {
    RawData* raw = App().raw;
    return raw && PointCursor_Goto(*raw, App_PointCursor(), profile, point);
}
