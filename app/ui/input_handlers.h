// Typed one-line input: the handler an input box runs on OK (parse, then
// validate, then apply, stopping at the first that fails with its error
// text), and the point cursor that the profile-and-point box moves.
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>
#include <string>

struct RawData;

struct ProfilePoint {
    int32_t profile = 0;
    int32_t point = 0;
};

template <typename T>
class InputHandler {
  public:
    virtual ~InputHandler() = default;
    virtual bool Parse(const char* text, T& value, std::string& error) = 0;
    virtual bool Validate(const T& value, std::string& error) = 0;
    virtual bool Apply(const T& value, std::string& error) = 0;
};

template <typename T>
class DefaultInputHandler;

// One integer read as a stream reads it: leading blanks skipped, reading
// stops at the first character that cannot continue the number.
template <>
class DefaultInputHandler<int> : public InputHandler<int> {
  public:
    bool Parse(const char* text, int& value, std::string& error) override;
    bool Validate(const int&, std::string&) override { return true; }
    bool Apply(const int&, std::string&) override { return true; }
};

// "profile:point" within the scan; OK moves the point cursor there.
class ProfilePointInputHandler : public InputHandler<ProfilePoint> {
  public:
    explicit ProfilePointInputHandler(RawData& raw) : raw_(raw) {}
    bool Parse(const char* text, ProfilePoint& value, std::string& error) override;
    bool Validate(const ProfilePoint& value, std::string& error) override;
    bool Apply(const ProfilePoint& value, std::string& error) override;

  private:
    RawData& raw_;
};

// Runs the three steps; true when all passed, else `error` holds the reason.
template <typename T>
bool InputHandler_Run(InputHandler<T>& handler, const char* text, T& value, std::string& error) {
    return handler.Parse(text, value, error) && handler.Validate(value, error) && handler.Apply(value, error);
}

// The point cursor shown in the view: a profile, a point of it and the
// point's position.
struct PointCursor {
    int32_t profile = 0;
    int32_t point = 0;
    Vec3 position = {0, 0, 0};
    bool placed = false;  // shown once a Goto put it on a point
};
PointCursor& App_PointCursor();

// Profile -1 with point 1 means the point after the current one. A profile
// past the end becomes 0; a point past its profile's end becomes point 0 of
// the next profile that has points, wrapping to the first. The cursor takes
// the point's position and the view is repainted. False (nothing changes)
// when the scan holds no point at all.
bool PointCursor_Goto(RawData& raw, PointCursor& cursor, int32_t profile, int32_t point);
bool PointCursor_Goto(int32_t profile, int32_t point);
