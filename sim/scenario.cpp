#include "sim/scenario.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/calibration_model.h"
#include "sim/hardware.h"

namespace sim {

namespace {

constexpr double kMaxMagnitude = 1e6;   // mm, seconds or degrees
constexpr double kMinGap = 0.1;         // seconds; longer than the host's read time-out
constexpr std::size_t kMaxShapes = 64;
constexpr std::size_t kMaxJoints = 64;
constexpr std::size_t kMaxWaitName = 32;

class LineReader {
 public:
  LineReader(const std::vector<std::string>& tokens, int line, ScenarioError* error)
      : tokens_(tokens), line_(line), error_(error) {}

  std::size_t Left() const { return tokens_.size() - next_; }

  bool Number(double* v) {
    if (next_ >= tokens_.size()) return Fail("missing number");
    const std::string& t = tokens_[next_++];
    char* end = nullptr;
    const double d = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || !std::isfinite(d) || std::fabs(d) > kMaxMagnitude) {
      return Fail("bad number '" + t + "'");
    }
    *v = d;
    return true;
  }

  bool Integer(int lo, int hi, int* v) {
    double d;
    if (!Number(&d)) return false;
    if (d != std::floor(d) || d < lo || d > hi) {
      return Fail("value out of range " + std::to_string(lo) + ".." + std::to_string(hi));
    }
    *v = static_cast<int>(d);
    return true;
  }

  bool Vector(Vec3* v) { return Number(&v->x) && Number(&v->y) && Number(&v->z); }

  bool Time(double* t) {
    if (!Number(t)) return false;
    if (*t < 0) return Fail("negative time");
    return true;
  }

  bool Word(std::string* w) {
    if (next_ >= tokens_.size()) return Fail("missing word");
    *w = tokens_[next_++];
    return true;
  }

  bool End() {
    if (next_ != tokens_.size()) return Fail("unexpected '" + tokens_[next_] + "'");
    return true;
  }

  bool Fail(const std::string& message) {
    error_->line = line_;
    error_->message = message;
    return false;
  }

 private:
  const std::vector<std::string>& tokens_;
  std::size_t next_ = 1;
  int line_;
  ScenarioError* error_;
};

// The point the sensor's x axis must aim at for the laser fan's middle ray
// to pass through `point`: the sheet runs beside and across the x axis, so
// the aim moves by where the point lies off the middle ray, a few times over
// as the view turns with it.
Vec3 AimForSheet(Vec3 position, Vec3 point, double roll) {
  Vec3 aim = point;
  for (int i = 0; i < 8; ++i) {
    const Pose pose = LookAt(position, aim, roll);
    const Vec3 local = ApplyInverse(pose, point);
    const Vec3 wanted{local.x, 0,
                      CalibrationModel::kSheetZ0 + CalibrationModel::kSheetZSlope * (local.x - CalibrationModel::kApexX)};
    aim = aim + Apply(pose.r, local - wanted);
  }
  return aim;
}

// `sheet`: the key's point is where the laser sheet's middle ray is to pass.
bool ParseKey(LineReader& r, Path* path, bool sheet = false) {
  KeyPose k;
  if (!r.Time(&k.time) || !r.Vector(&k.position) || !r.Vector(&k.target)) return false;
  if (r.Left() > 0 && !r.Number(&k.roll)) return false;
  if (!r.End()) return false;
  if (!path->Empty() && k.time <= path->Keys().back().time) {
    return r.Fail("key times must increase");
  }
  if (Length(k.target - k.position) < 1e-6) return r.Fail("target at the position");
  if (sheet) {
    if (Length(k.target - k.position) < 20) return r.Fail("the lit point lies too near");
    k.target = AimForSheet(k.position, k.target, k.roll);
  }
  path->Add(k);
  return true;
}

bool ParseWait(LineReader& r, Scenario* s) {
  Wait w;
  if (!r.Time(&w.at) || !r.Word(&w.name) || !r.End()) return false;
  if (w.name.empty() || w.name.size() > kMaxWaitName) return r.Fail("a wait's name has 1 to 32 characters");
  for (char c : w.name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') {
      return r.Fail("a wait's name has letters, digits, '-' and '_' only");
    }
  }
  for (const Wait& other : s->waits) {
    if (other.name == w.name) return r.Fail("two waits named '" + w.name + "'");
  }
  if (!s->waits.empty() && w.at <= s->waits.back().at) return r.Fail("wait times must increase");
  s->waits.push_back(w);
  return true;
}

bool ParseFault(LineReader& r, Scenario* s) {
  Fault f;
  std::string kind;
  if (!r.Time(&f.start) || !r.Time(&f.end) || !r.Word(&kind)) return false;
  if (f.end <= f.start) return r.Fail("fault ends before it starts");
  if (kind == "framing") {
    f.kind = Fault::kFraming;
  } else if (kind == "serial") {
    f.kind = Fault::kSerial;
    int v;
    if (!r.Integer(0, 0xFFFF, &v)) return false;
    f.value = static_cast<unsigned>(v);
  } else if (kind == "record-type") {
    f.kind = Fault::kRecordType;
  } else if (kind == "station") {
    f.kind = Fault::kStation;
  } else if (kind == "tracker-error") {
    f.kind = Fault::kTrackerError;
    std::string c, port = "wand";
    if (!r.Word(&c)) return false;
    if (c.size() != 1) return r.Fail("error character must be one character");
    f.character = c[0];
    if (r.Left() > 0 && !r.Word(&port)) return false;
    if (port != "wand" && port != "second") return r.Fail("port must be wand or second");
    f.port = port == "wand" ? 0 : 1;
  } else if (kind == "pause") {
    f.kind = Fault::kPause;
    if (f.end - f.start < kMinGap) return r.Fail("a pause must last 0.1 s or more");
  } else {
    return r.Fail("unknown fault '" + kind + "'");
  }
  if (!r.End()) return false;
  s->faults.push_back(f);
  return true;
}

bool ParseLimb(LineReader& r, Scenario* s) {
  std::vector<Joint> joints;
  while (r.Left() > 0) {
    Joint j;
    if (!r.Vector(&j.centre) || !r.Number(&j.radius)) return false;
    if (j.radius <= 0) return r.Fail("radius must be above 0");
    if (!joints.empty()) {
      const double d = Length(j.centre - joints.back().centre);
      if (std::fabs(j.radius - joints.back().radius) >= d) {
        return r.Fail("a joint lies inside its neighbour");
      }
    }
    joints.push_back(j);
    if (joints.size() > kMaxJoints) return r.Fail("too many joints");
  }
  if (joints.size() < 2) return r.Fail("a limb needs two joints or more");
  s->scene.Add(MakeLimb(joints));
  return true;
}

bool ParseShape(const std::string& key, LineReader& r, Scenario* s) {
  if (s->scene.Size() >= kMaxShapes) return r.Fail("too many shapes");
  if (key == "limb") return ParseLimb(r, s);
  Vec3 a, b;
  double radius = 1;
  if (key == "plane") {
    if (!r.Vector(&a) || !r.Vector(&b) || !r.End()) return false;
    if (Length(b) < 1e-9) return r.Fail("zero normal");
    s->scene.Add(MakePlane(a, b));
  } else if (key == "target") {
    if (!r.Vector(&a) || !r.Number(&radius) || !r.End()) return false;
    if (radius <= 0) return r.Fail("radius must be above 0");
    s->scene.Add(MakeTarget(a, radius));
  } else if (key == "sphere") {
    if (!r.Vector(&a) || !r.Number(&radius) || !r.End()) return false;
    if (radius <= 0) return r.Fail("radius must be above 0");
    s->scene.Add(MakeSphere(a, radius));
  } else {
    if (!r.Vector(&a) || !r.Vector(&b) || !r.Number(&radius) || !r.End()) return false;
    if (Length(b) < 1e-9) return r.Fail("zero axis");
    if (radius <= 0) return r.Fail("radius must be above 0");
    s->scene.Add(MakeCylinder(a, b, radius));
  }
  return true;
}

bool ParseLine(const std::vector<std::string>& tokens, int line, Scenario* s,
               ScenarioError* error) {
  LineReader r(tokens, line, error);
  const std::string& key = tokens[0];
  if (key == "serial") {
    int v;
    if (!r.Integer(0, 0xFFFF, &v) || !r.End()) return false;
    s->serial = static_cast<unsigned>(v);
  } else if (key == "hardware") {
    if (!r.Word(&s->hardware) || !r.End()) return false;
    if (!FindHardware(s->hardware)) return r.Fail("hardware '" + s->hardware + "' is not simulated");
  } else if (key == "unit") {
    if (!r.Integer(0, 3, &s->unitVersion) || !r.End()) return false;
  } else if (key == "tracker") {
    if (!r.Integer(0, 2, &s->trackerSelection) || !r.End()) return false;
  } else if (key == "hemisphere") {
    if (!r.Integer(0, 6, &s->hemisphere) || !r.End()) return false;
  } else if (key == "angle-clip") {
    if (!r.Number(&s->angleClip) || !r.End()) return false;
    if (s->angleClip <= 0 || s->angleClip >= 180) return r.Fail("angle out of range");
  } else if (key == "line-width") {
    if (!r.Integer(1, 4095, &s->minLineWidth) || !r.Integer(1, 4095, &s->maxLineWidth) || !r.End()) {
      return false;
    }
    if (s->minLineWidth > s->maxLineWidth) return r.Fail("minimum above maximum");
  } else if (key == "calibration-version") {
    if (!r.Integer(4, 5, &s->calibrationVersion) || !r.End()) return false;
  } else if (key == "origin") {
    std::string w;
    if (!r.Word(&w) || !r.End()) return false;
    if (w != "tracker" && w != "open") return r.Fail("origin must be tracker or open");
    s->origin = w == "open" ? Scenario::kOpen : Scenario::kTrackerStart;
  } else if (key == "sample-offset") {
    int channel;
    SampleOffset off;
    if (!r.Integer(0, 1, &channel) || !r.Number(&off.line) || !r.Number(&off.count) || !r.End()) return false;
    if (std::fabs(off.line) > 20 || std::fabs(off.count) > 100) return r.Fail("sample offset out of range");
    s->sampleOffset[channel] = off;
  } else if (key == "reference") {
    Vec3 p, angles;
    if (!r.Vector(&p) || !r.Vector(&angles) || !r.End()) return false;
    s->reference = Pose{FromAngles(angles.x, angles.y, angles.z), p};
  } else if (key == "plane" || key == "sphere" || key == "cylinder" || key == "limb" || key == "target") {
    return ParseShape(key, r, s);
  } else if (key == "wand") {
    return ParseKey(r, &s->wand);
  } else if (key == "wand-sheet") {
    return ParseKey(r, &s->wand, true);
  } else if (key == "wait") {
    return ParseWait(r, s);
  } else if (key == "stylus") {
    return ParseKey(r, &s->stylus);
  } else if (key == "press") {
    Press p;
    std::string kind = "scan";
    if (!r.Time(&p.start) || !r.Time(&p.end)) return false;
    if (r.Left() > 0 && !r.Word(&kind)) return false;
    if (!r.End()) return false;
    if (kind == "scan") p.kind = Press::kScan;
    else if (kind == "preview") p.kind = Press::kPreview;
    else if (kind == "stylus") p.kind = Press::kStylus;
    else return r.Fail("press kind must be scan, preview or stylus");
    if (p.end <= p.start) return r.Fail("press ends before it starts");
    if (!s->presses.empty() && p.start < s->presses.back().end + kMinGap) {
      return r.Fail("presses must follow each other 0.1 s apart or more");
    }
    s->presses.push_back(p);
  } else if (key == "fault") {
    return ParseFault(r, s);
  } else if (key == "unplug") {
    Unplug u;
    if (!r.Time(&u.at)) return false;
    if (r.Left() > 0) {
      double t;
      if (!r.Time(&t)) return false;
      if (t <= u.at) return r.Fail("replug before unplug");
      u.replug = t;
    }
    if (!r.End()) return false;
    s->unplugs.push_back(u);
  } else if (key == "open-busy") {
    if (!r.Integer(0, 1000, &s->openBusy) || !r.End()) return false;
  } else if (key == "open-not-found") {
    if (!r.Integer(0, 1000, &s->openNotFound) || !r.End()) return false;
  } else {
    return r.Fail("unknown key '" + key + "'");
  }
  return true;
}

bool Check(Scenario* s, ScenarioError* error) {
  auto fail = [&](const std::string& m) {
    error->line = 0;
    error->message = m;
    return false;
  };
  if (s->hardware.empty()) return fail("no hardware given");
  if (s->serial > MaxSerial(s->unitVersion)) return fail("serial number too large for this unit");
  if (s->scene.Empty()) return fail("the scene is empty");
  if (s->reference && !s->stylus.Empty()) return fail("a reference and a stylus both need port 1");
  for (const Press& p : s->presses) {
    if (p.kind == Press::kStylus && s->stylus.Empty()) return fail("a stylus press needs a stylus path");
    if (p.kind != Press::kStylus && s->wand.Empty()) return fail("a press needs a wand path");
  }
  for (std::size_t i = 1; i < s->unplugs.size(); ++i) {
    const Unplug& prev = s->unplugs[i - 1];
    if (!prev.replug || s->unplugs[i].at <= *prev.replug) return fail("unplugs overlap");
  }
  for (const Wait& w : s->waits) {
    for (const Press& p : s->presses) {
      if (w.at >= p.start && w.at < p.end) return fail("the wait '" + w.name + "' lies inside a press");
    }
  }
  s->duration = s->presses.empty() ? 0 : s->presses.back().end;
  return true;
}

}  // namespace

Pose Scenario::PortPose(int port, double t) const {
  if (port == 0) return wand.At(t);
  if (reference) return *reference;
  return stylus.At(t);
}

bool ParseScenario(const std::string& text, Scenario* out, ScenarioError* error) {
  if (text.size() > kMaxScenarioBytes) {
    error->line = 0;
    error->message = "scenario too large";
    return false;
  }
  Scenario s;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> tokens;
    for (std::string w; words >> w;) tokens.push_back(w);
    if (tokens.empty()) continue;
    if (!ParseLine(tokens, number, &s, error)) return false;
  }
  if (!Check(&s, error)) return false;
  *out = std::move(s);
  return true;
}

bool LoadScenarioFile(const std::string& path, Scenario* out, ScenarioError* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error->line = 0;
    error->message = "cannot open " + path;
    return false;
  }
  std::string text;
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxScenarioBytes) {
      error->line = 0;
      error->message = "scenario too large";
      return false;
    }
  }
  return ParseScenario(text, out, error);
}

}  // namespace sim
