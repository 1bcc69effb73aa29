// Sweep registration on the simulator's limb scan, for
// bench/sweep_registration_vs_open3d.py:
//
//   timing_sweep_registration OUT [ROUNDS]
//
// makes the first two sweeps of the limb scenario, moves the second by the
// known offset (bench/limb_registration.h), writes both sweeps' points and
// normals to OUT.bin (int32 n0, int32 n1, then points and normals of sweep 0,
// then of sweep 1, float x, y, z each), registers them with the dialog's
// parameters (ROUNDS rounds instead of its five when given) and writes
// OUT.json: the offset and the movement left on sweep 1 relative to sweep 0
// (row-vector matrices, p·M), the limb's axis, the axis point beside sweep 1
// (where the shift left over is measured), the parameters, the result, the
// run's time, and how far any point is from where it was once the
// registration is taken back.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/limb_registration.h"

namespace {

void WriteSweep(std::FILE* out, const RawData& r, int32_t s) {
    for (bool normals : {false, true})
        for (int32_t i = r.SweepFirstPoint[s]; i < r.SweepFirstPoint[s + 1]; ++i) {
            const Vec3& v = normals ? r.Points[i].Normal : r.Points[i].Vertex;
            std::fwrite(&v, sizeof(float), 3, out);
        }
}

void WriteMatrix(std::FILE* out, const char* name, const Matrix4& m) {
    std::fprintf(out, "  \"%s\": [", name);
    for (int i = 0; i < 16; ++i) std::fprintf(out, "%.9g%s", m[i], i < 15 ? ", " : "],\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: timing_sweep_registration OUT [ROUNDS]\n");
        return 2;
    }
    const std::string out = argv[1];
    bench::LimbPair pair;
    if (!bench::MakeLimbPair(pair)) {
        std::fprintf(stderr, "the limb scan failed\n");
        return 1;
    }
    RawData& r = pair.scan->raw();
    std::FILE* bin = std::fopen((out + ".bin").c_str(), "wb");
    if (!bin) return 1;
    const int32_t counts[2] = {r.SweepFirstPoint[1], r.SweepFirstPoint[2] - r.SweepFirstPoint[1]};
    std::fwrite(counts, sizeof(int32_t), 2, bin);
    WriteSweep(bin, r, 0);
    WriteSweep(bin, r, 1);
    std::fclose(bin);

    SweepRegParameters params;
    if (argc > 2) params.Iterations = std::atoi(argv[2]);
    float initial = -1.0f, final = -1.0f;
    params.InitialError = &initial;
    params.FinalError = &final;
    std::vector<Vec3> before;
    for (int32_t i = 0; i < r.NumPoints; ++i) before.push_back(r.Points[i].Vertex);
    const auto start = std::chrono::steady_clock::now();
    const int result = SweepReg_Run(r, params, [](const char*, float) { return true; });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Matrix4 movement = bench::RelativeMovement(r);
    const bench::Recovery left = bench::MeasureRecovery(pair, movement);
    std::printf("points %d + %d, result %d, errors %.4f -> %.4f mm, %.1f ms\n", counts[0], counts[1], result, initial,
                final, seconds * 1e3);
    // Taking the registration back returns every point within float precision.
    SweepReg_ApplyPending(r);
    float undo = 0.0f;
    for (int32_t i = 0; i < r.NumPoints; ++i) undo = std::max(undo, V3_Distance(before[i], r.Points[i].Vertex));
    std::printf("taken back: every point within %.2g mm of where it was\n", undo);
    std::printf("left over: rotation %.4f deg across, %.4f deg about the axis; shift %.4f mm across, %.4f mm along\n",
                left.rotationAcross, left.rotationAbout, left.shiftAcross, left.shiftAlong);

    std::FILE* json = std::fopen((out + ".json").c_str(), "w");
    if (!json) return 1;
    std::fprintf(json, "{\n");
    WriteMatrix(json, "offset", pair.offset);
    WriteMatrix(json, "movement", movement);
    std::fprintf(json, "  \"axis\": [%.9g, %.9g, %.9g],\n", pair.axis.x, pair.axis.y, pair.axis.z);
    std::fprintf(json, "  \"axis_point\": [%.9g, %.9g, %.9g],\n", pair.axisPoint.x, pair.axisPoint.y, pair.axisPoint.z);
    std::fprintf(json, "  \"search_radius\": %.9g,\n  \"rounds\": %d,\n  \"samples\": %d,\n", params.SearchRadius,
                 params.Iterations, params.Samples);
    std::fprintf(json, "  \"undo_error\": %.9g,\n", undo);
    std::fprintf(json, "  \"result\": %d,\n  \"seconds\": %.9g\n}\n", result, seconds);
    std::fclose(json);
    return result == kSweepRegDone ? 0 : 1;
}
