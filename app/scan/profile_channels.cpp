// The merge of a new profile's two camera channels into one line. Each channel
// sees the laser line from its own side, so the two point sequences interleave
// along the line; the merge walks both like a zipper, always taking the point
// that lies next along the line, and measures how far the channels disagree
// where the walk switches from one to the other.
#include "app/scan/profile_math.h"
#include "app/scan/profile_processing.h"

#include <cmath>

#include <emmintrin.h>

namespace {

// Dot product summed in the order y, x, z, each step rounded to float.
float DotYXZ(const Vec3& a, const Vec3& b) {
    float sum = a.y * b.y;
    sum += a.x * b.x;
    sum += a.z * b.z;
    return sum;
}

// A point as an SSE2 vector (x, y, z, 0); the operations below do the float
// operations of their scalar twins in the same order.
__m128 LoadXyz(const Vec3& v) {
    return _mm_movelh_ps(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(&v.x)), _mm_load_ss(&v.z));
}

// (y + x) + z of the lane products, as DotYXZ above.
float DotYXZ(__m128 a, __m128 b) {
    const __m128 m = _mm_mul_ps(a, b);
    return _mm_cvtss_f32(
        _mm_add_ss(_mm_add_ss(_mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 1, 1, 1)), m), _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 2, 2, 2))));
}

// (x + y) + z of the lane products, as profile_math::Dot.
float Dot(__m128 a, __m128 b) {
    const __m128 m = _mm_mul_ps(a, b);
    return _mm_cvtss_f32(
        _mm_add_ss(_mm_add_ss(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 1, 1, 1))), _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 2, 2, 2))));
}

// As profile_math::LineDistanceSquared.
float LineDistanceSquared(__m128 p, __m128 origin, __m128 direction) {
    const float lengthSq = Dot(direction, direction);
    const float t = lengthSq < kNormaliseGuard ? 0.0f : Dot(direction, _mm_sub_ps(p, origin)) / lengthSq;
    const __m128 q = _mm_add_ps(origin, _mm_mul_ps(_mm_set1_ps(t), direction));
    const __m128 d = _mm_sub_ps(p, q);
    return Dot(d, d);
}

struct ChannelMerge {
    const Vec3* points;
    const int32_t* values;
    int32_t count[2];
    int32_t next[2];
    Vec3* outPoints;
    int32_t* outValues;
    int32_t written;

    const Vec3& At(int c) const { return points[2 * next[c] + c]; }

    void Take(int c) {
        const int32_t from = 2 * next[c] + c;
        Vec3& to = outPoints[written];
        if (&to != &points[from]) to = points[from];
        if (values && outValues) outValues[written] = values[from];
        ++next[c];
        ++written;
    }
};

}  // namespace

void Scan_ProfileCameraDeviation(const Vec3* stagingPoints, const int32_t* stagingValues,
                                 const int32_t counts[2], Vec3* outPoints, int32_t* outValues,
                                 int32_t* outCount, float* outDeviation) {
    ChannelMerge m{stagingPoints, stagingValues, {counts[0], counts[1]}, {0, 0}, outPoints, outValues, 0};
    float deviation = 0.0f;
    int32_t samples = 0;
    *outDeviation = 0.0f;

    if (m.count[0] > 0 && m.count[1] > 0) {
        if (m.count[0] == 1 && m.count[1] == 1) {
            const Vec3& a = stagingPoints[0];
            const Vec3& b = stagingPoints[1];
            outPoints[0] = Vec3{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f};
            if (stagingValues && outValues) outValues[0] = (stagingValues[0] + stagingValues[1]) / 2;
            *outCount = 1;
            return;
        }
        // Start with the channel whose first point comes first along the line.
        int s = m.count[0] >= 2 ? 0 : 1;
        const Vec3 along = profile_math::Sub(stagingPoints[2 + s], stagingPoints[s]);
        const Vec3 between = profile_math::Sub(stagingPoints[s], stagingPoints[1 - s]);
        if (DotYXZ(between, along) > 0.0f) s = 1 - s;
        // The last two points written are held as vectors: the output keeps
        // them unchanged (only later places are written), while the channels'
        // next points are read afresh each time (the output may be the
        // staging array itself).
        __m128 last = LoadXyz(m.At(s)), before = _mm_setzero_ps();
        m.Take(s);

        while (m.next[0] < m.count[0] && m.next[1] < m.count[1]) {
            const __m128 here = LoadXyz(m.At(s));
            const __m128 other = LoadXyz(m.At(1 - s));
            // The other channel's next point lies between the last point and
            // this channel's next one: switch. Zero or NaN keeps the channel.
            __m128 taken = here;
            if (DotYXZ(_mm_sub_ps(last, here), _mm_sub_ps(other, here)) > 0.0f) {
                s = 1 - s;
                taken = other;
                if (m.written >= 2) {
                    deviation += LineDistanceSquared(last, before, _mm_sub_ps(other, before));
                    ++samples;
                }
            }
            m.Take(s);
            before = last;
            last = taken;
        }
    }

    const int rest = m.next[0] >= m.count[0] ? 1 : 0;
    while (m.next[rest] < m.count[rest]) m.Take(rest);

    if (samples > 0) {
        const float mean = deviation / static_cast<float>(samples);
        *outDeviation = std::sqrt(mean);
    }
    *outCount = m.written;
}
