// Profile points: up to three points as float32 triples; more as the
// profile's box and one uint16 triple a point.
#include "app/scanfile/field_coders.h"

#include <cstring>

namespace {

constexpr double kRoundHalf = 0.49999991059303284;

float StepOf(float minimum, float maximum) {
    const float extent = maximum - minimum;
    return extent / 65535.0f;
}

uint16_t Quantise(float coordinate, float minimum, float step) {
    if (step == 0.0f) return 0;
    const double q = (double(coordinate) - double(minimum)) / double(step) + kRoundHalf;
    if (!(q >= 0.0 && q < 4294967296.0)) return 0;  // a coordinate outside its box (NaN)
    return static_cast<uint16_t>(static_cast<int64_t>(q) & 0xFFFF);
}

class ByteReader {
  public:
    ByteReader(const uint8_t* bytes, int32_t count) : bytes_(bytes), count_(count > 0 ? count : 0) {}
    bool Take(void* out, int32_t n) {
        if (n > count_ - at_) return false;
        std::memcpy(out, bytes_ + at_, n);
        at_ += n;
        return true;
    }
    bool AtEnd() const { return at_ == count_; }

  private:
    const uint8_t* bytes_;
    int32_t count_;
    int32_t at_ = 0;
};

// Origins, steps and, where the item stores it, the top of the box per axis
// of a profile of four or more points.
using BoxReader = bool (*)(ByteReader& in, float origin[3], float step[3], float top[3]);

bool ReadBoxV1(ByteReader& in, float origin[3], float step[3], float top[3]) {
    float box[6];
    if (!in.Take(box, sizeof box)) return false;
    for (int a = 0; a < 3; ++a) {
        origin[a] = box[a];
        step[a] = StepOf(box[a], box[a + 3]);
        top[a] = box[a + 3];
    }
    return true;
}

bool ReadBoxV2(ByteReader& in, float origin[3], float step[3], float top[3]) {
    float values[4];
    if (!in.Take(values, sizeof values)) return false;
    for (int a = 0; a < 3; ++a) {
        origin[a] = values[a];
        step[a] = values[3];
        top[a] = static_cast<float>(65535.0 * double(values[3]) + double(values[a]));
    }
    return true;
}

// The last step lands on the box's top itself, not a rounding of it: the
// profile then has the same box when the scan is saved again, and every
// point the same code.
float Decoded(uint16_t q, float origin, float step, float top) {
    if (q == 65535) return top;
    return static_cast<float>(double(q) * double(step) + double(origin));
}

bool DecodePoints(RawData& scan, const uint8_t* bytes, int32_t byteCount, BoxReader readBox) {
    ByteReader in(bytes, byteCount);
    for (int32_t p = 0; p < scan.NumProfiles; ++p) {
        Profile& profile = scan.Profiles[p];
        const int32_t n = profile.NumPoints;
        if (n <= 0) continue;
        if (n <= 3) {
            for (int32_t k = 0; k < n; ++k)
                if (!in.Take(&profile.Points[k], 12)) return false;
            continue;
        }
        float origin[3], step[3], top[3];
        if (!readBox(in, origin, step, top)) return false;
        for (int32_t k = 0; k < n; ++k) {
            uint16_t q[3];
            if (!in.Take(q, sizeof q)) return false;
            float* out = &profile.Points[k].x;
            for (int a = 0; a < 3; ++a) out[a] = Decoded(q[a], origin[a], step[a], top[a]);
        }
    }
    return in.AtEnd();
}

}  // namespace

bool TVNFile_PackPointsV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers) {
    const int32_t profiles = ScanFile_ProfilesInForce(scan);
    int64_t total = 0;
    for (int32_t p = 0; p < profiles; ++p) total += scan.Profiles[p].NumPoints;
    auto* out = static_cast<uint8_t*>(buffers.Take(static_cast<std::size_t>((total + 4 * int64_t(profiles)) * 6)));
    if (!out) return false;
    uint8_t* at = out;
    for (int32_t p = 0; p < profiles; ++p) {
        const Profile& profile = scan.Profiles[p];
        const int32_t n = profile.NumPoints;
        if (n <= 0) continue;
        if (n <= 3) {
            std::memcpy(at, profile.Points, std::size_t(n) * 12);
            at += n * 12;
            continue;
        }
        Vec3 lo, hi;
        V3_BoundingBox(profile.Points, n, &lo, &hi, nullptr, nullptr);
        const float box[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
        std::memcpy(at, box, sizeof box);
        at += sizeof box;
        const float step[3] = {StepOf(lo.x, hi.x), StepOf(lo.y, hi.y), StepOf(lo.z, hi.z)};
        for (int32_t k = 0; k < n; ++k) {
            const Vec3& v = profile.Points[k];
            const uint16_t q[3] = {Quantise(v.x, lo.x, step[0]), Quantise(v.y, lo.y, step[1]),
                                   Quantise(v.z, lo.z, step[2])};
            std::memcpy(at, q, sizeof q);
            at += sizeof q;
        }
    }
    return ItemStore_AddItem(store, "Raw/CompressedPointsV1", out, ItemType::Int8, 1, at - out);
}

bool TVNFile_DecodePointsV1(RawData& scan, const uint8_t* bytes, int32_t byteCount) {
    return DecodePoints(scan, bytes, byteCount, ReadBoxV1);
}

bool TVNFile_DecodePointsV2(RawData& scan, const uint8_t* bytes, int32_t byteCount) {
    return DecodePoints(scan, bytes, byteCount, ReadBoxV2);
}
