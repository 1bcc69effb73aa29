#include "surface/fit/matlab_dump.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

std::string Captured(const std::function<void()>& dump) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    dump();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(MatlabDump, GoldenStrings) {
    double r0[] = {1, -2.5}, r1[] = {0.125, 3e10};
    double* m[] = {r0, r1};
    double a00[] = {1, 2}, a01[] = {3, 4}, a10[] = {5, 6}, a11[] = {7, 8};
    double* s0[] = {a00, a01};
    double* s1[] = {a10, a11};
    double** slice[] = {s0, s1};
    const std::complex<double> z[] = {{1, 2}, {-1, -0.5}, {0, 0}};
    const double packed[] = {1, 2, 3};
    double c0[] = {1, -1}, c1[] = {2, 0, 3, -4};
    double* cl[] = {c0, c1};
    const int32_t ints[] = {3, -1, 0};
    const int32_t pick[] = {1};
    const struct {
        const char* name;
        std::function<void()> dump;
        const char* text;
    } cases[] = {
        {"tight", [&] { DumpMatlabMatrixTight(2, 2, m, "A"); },
         "A = [...\n  1.0000e+00  -2.5000e+00 \n  1.2500e-01   3.0000e+10 ];\n"},
        {"matrix", [&] { DumpMatlabMatrix(1, 2, m, "A"); }, "A = [... \n  1.0000e+00  -2.5000e+00 ];\n"},
        {"transposed", [&] { DumpMatlabTransposed(2, 1, m, "T"); }, "T = [... \n  1.0000e+00   1.2500e-01 ];\n"},
        {"slice", [&] { DumpMatlabSlice(2, 2, 1, slice, "S"); },
         "S(:,:,2) = [...\n  2.0000e+00   4.0000e+00 \n  6.0000e+00   8.0000e+00 ];\n"},
        {"row", [&] { DumpMatlabRow(2, r0, "r"); }, "r = [  1.0000e+00  -2.5000e+00 ];\n"},
        {"complex row", [&] { DumpMatlabComplexRow(3, z, "z"); },
         "z = [  1.0000e+00 +2.0000e+00i -1.0000e+00 -5.0000e-01i  0.0000e+00 +0.0000e+00i];\n"},
        {"column", [&] { DumpMatlabColumn(2, r0, "c"); }, "c = [...\n  1.0000e+00 \n -2.5000e+00 ];\n"},
        {"ints", [&] { DumpMatlabInts(3, ints, "k"); }, "k = [3 -1 0 ];\n"},
        {"lower", [&] { DumpMatlabLower(2, packed, "L"); }, "L = \n  1.0000e+00 \n  2.0000e+00   3.0000e+00 \n\n"},
        {"complex lower", [&] { Dump_MatlabComplex(2, cl, "C"); },
         "C = \n  1.0000e+00 -1.0000e+00i\n  2.0000e+00 +0.0000e+00i  3.0000e+00 -4.0000e+00i\n"},
        {"rows", [&] { DumpMatlabRows(1, 2, m, pick, "R"); }, "\n R = [... \n  1.2500e-01   3.0000e+10 ];\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Captured(c.dump), c.text) << c.name;
}

#ifndef _WIN32
// Octave reads a dumped matrix back to the values within the printed
// precision (four decimals of the mantissa).
TEST(MatlabDump, OctaveReadsAMatrixBack) {
    double r0[] = {1, -2.5, 3.14159265}, r1[] = {0.000123456, 3e10, -7.777777};
    double* m[] = {r0, r1};
    const std::string base = testing::TempDir() + "dump-" + std::to_string(static_cast<long>(getpid()));
    const std::string script = base + ".m", out = base + ".txt";
    {
        std::ofstream file(script);
        file << Captured([&] { DumpMatlabMatrix(2, 3, m, "A"); });
    }
    const std::string command = "octave --no-gui --no-window-system -q --eval \"source('" + script +
                                "'); printf('%d %d\\n', size(A)); printf('%.17g\\n', A')\" > " + out + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(out);
    int rows = 0, columns = 0;
    in >> rows >> columns;
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(columns, 3);
    for (double expected : {r0[0], r0[1], r0[2], r1[0], r1[1], r1[2]}) {
        double value = 0.0;
        ASSERT_TRUE(in >> value);
        EXPECT_NEAR(value, expected, 5e-5 * std::fabs(expected));
    }
    std::remove(script.c_str());
    std::remove(out.c_str());
}
#endif

}  // namespace
