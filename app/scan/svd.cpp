#include "app/scan/svd.h"

#include <cmath>
#include <memory>
#include <new>

namespace {

void Rotate(double c, double s, double& i, double& j) {
    const double ti = c * i - s * j;
    const double tj = s * i + c * j;
    i = ti;
    j = tj;
}

// A value is negligible when adding it to the scale leaves the scale as it is.
bool Negligible(double scale, double v) { return scale + v == scale; }

// The full 3x3 matrix of a bidiagonal form, for the steps that create fill.
struct Matrix3 {
    double b[3][3];
};

Matrix3 ToMatrix(const SvdBidiagonal& f) {
    return Matrix3{{{f.d[0], f.e[0], 0.0}, {0.0, f.d[1], f.e[1]}, {0.0, 0.0, f.d[2]}}};
}

void FromMatrix(const Matrix3& m, SvdBidiagonal& f) {
    f.d[0] = m.b[0][0];
    f.e[0] = m.b[0][1];
    f.d[1] = m.b[1][1];
    f.e[1] = m.b[1][2];
    f.d[2] = m.b[2][2];
}

void RotateRows(Matrix3& m, int i, int j, double c, double s) {
    for (int k = 0; k < 3; ++k) Rotate(c, s, m.b[i][k], m.b[j][k]);
}

void RotateRightVectors(SvdBidiagonal& f, int i, int j, double c, double s) {
    for (int k = 0; k < 3; ++k) Rotate(c, s, f.right[i][k], f.right[j][k]);
}

// A right-hand rotation of columns i and j, carried into the right vectors.
void RotateColumns(Matrix3& m, SvdBidiagonal& f, int i, int j, double c, double s) {
    for (int k = 0; k < 3; ++k) Rotate(c, s, m.b[k][i], m.b[k][j]);
    RotateRightVectors(f, i, j, c, s);
}

// The eigenvalue of the symmetric 2x2 matrix ((a, b), (b, d)) nearer to d,
// the second on a tie.
int32_t ShiftNearLast(double a, double b, double d, double& shift) {
    double l1, l2;
    if (!Svd_Eigen2x2(a, b, b, d, l1, l2)) return 0;
    shift = (std::fabs(l1 - d) < std::fabs(l2 - d)) ? l1 : l2;
    return 1;
}

double Scale(const SvdBidiagonal& f) {
    double scale = std::fabs(f.d[0]);
    scale = std::fmax(scale, std::fabs(f.d[1]) + std::fabs(f.e[0]));
    scale = std::fmax(scale, std::fabs(f.d[2]) + std::fabs(f.e[1]));
    return scale;
}

bool Converged(double scale, const SvdBidiagonal& f) {
    return Negligible(scale, f.e[0]) && Negligible(scale, f.e[1]);
}

void WriteSorted(const SvdBidiagonal& f, double& s1, Vec3D& r1, double& s2, Vec3D& r2, double& s3,
                 Vec3D& r3) {
    const double v[3] = {std::fabs(f.d[0]), std::fabs(f.d[1]), std::fabs(f.d[2])};
    int order[3];
    // The first value leads only when strictly the greatest.
    if (v[0] > v[1] && v[0] > v[2]) {
        order[0] = 0;
        order[1] = (v[1] >= v[2]) ? 1 : 2;
    } else {
        order[0] = (v[1] >= v[2]) ? 1 : 2;
        const int other = 3 - order[0];
        order[1] = (v[0] >= v[other]) ? 0 : other;
    }
    order[2] = 3 - order[0] - order[1];
    double* values[3] = {&s1, &s2, &s3};
    Vec3D* vectors[3] = {&r1, &r2, &r3};
    for (int k = 0; k < 3; ++k) {
        *values[k] = v[order[k]];
        const double* r = f.right[order[k]];
        *vectors[k] = Vec3D{r[0], r[1], r[2]};
    }
}

}  // namespace

void Svd_Givens(char mode, double a, double b, double& c, double& s) {
    c = 1.0;
    s = 0.0;
    if (b == 0.0) return;
    if (mode == 'b') {
        if (std::fabs(a) >= std::fabs(b)) {
            const double tau = -b / a;
            c = 1.0 / std::sqrt(1.0 + tau * tau);
            s = c * tau;
        } else {
            const double tau = -a / b;
            s = 1.0 / std::sqrt(1.0 + tau * tau);
            c = s * tau;
        }
    } else if (mode == 'a') {
        if (std::fabs(a) >= std::fabs(b)) {
            const double tau = b / a;
            s = 1.0 / std::sqrt(1.0 + tau * tau);
            c = s * tau;
        } else {
            const double tau = a / b;
            c = 1.0 / std::sqrt(1.0 + tau * tau);
            s = c * tau;
        }
    }
}

void Svd_Householder(int32_t n, double* x, double& beta, double& mu) {
    double sigma = 0.0;
    for (int32_t i = 1; i < n; ++i) sigma += x[i] * x[i];
    // A single entry is the case without a tail (sigma = 0): a negative entry
    // still needs its sign flipped to come out as mu.
    if (sigma == 0.0) {
        beta = (x[0] > 0.0) ? 0.0 : 2.0;
        mu = std::fabs(x[0]);
        x[0] = 1.0;
        return;
    }
    mu = std::sqrt(x[0] * x[0] + sigma);
    const double h0 = (x[0] <= 0.0) ? x[0] - mu : -sigma / (x[0] + mu);
    beta = 2.0 * h0 * h0 / (sigma + h0 * h0);
    for (int32_t i = 1; i < n; ++i) x[i] /= h0;
    x[0] = 1.0;
}

void Svd_ApplyHouseholder(int32_t n, const double* v, double beta, double* x) {
    double dot = 0.0;
    for (int32_t i = 0; i < n; ++i) dot += v[i] * x[i];
    const double w = beta * dot;
    for (int32_t i = 0; i < n; ++i) x[i] -= w * v[i];
}

int32_t Svd_Bidiagonalise(int32_t n, double* x, double* y, double* z, SvdBidiagonal& out) {
    if (n < 1) return 0;
    double beta, mu;
    Svd_Householder(n, x, beta, mu);
    Svd_ApplyHouseholder(n, x, beta, y);
    Svd_ApplyHouseholder(n, x, beta, z);
    const double d1 = mu;
    const double y0 = y[0], z0 = z[0];

    double y1 = 0.0, z1 = 0.0;
    if (n > 1) {
        Svd_Householder(n - 1, y + 1, beta, mu);
        Svd_ApplyHouseholder(n - 1, y + 1, beta, z + 1);
        y1 = mu;
        z1 = z[1];
    }
    // The rest of column z folds into its length: a reflection of the rows
    // below the second would map it there.
    double tail = 0.0;
    for (int32_t i = 2; i < n; ++i) tail += z[i] * z[i];
    tail = std::sqrt(tail);

    Matrix3 m{{{d1, y0, z0}, {0.0, y1, z1}, {0.0, 0.0, tail}}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out.right[i][j] = (i == j) ? 1.0 : 0.0;
    double c, s;
    Svd_Givens('b', m.b[0][1], m.b[0][2], c, s);  // zero the corner of row 0
    RotateColumns(m, out, 1, 2, c, s);
    m.b[0][2] = 0.0;
    Svd_Givens('b', m.b[1][1], m.b[2][1], c, s);  // and the fill below the diagonal
    RotateRows(m, 1, 2, c, s);
    m.b[2][1] = 0.0;
    FromMatrix(m, out);
    return 1;
}

int32_t Svd_Eigen2x2(double a, double b, double c, double d, double& l1, double& l2) {
    const double size = std::fabs(a) + std::fabs(b) + std::fabs(c) + std::fabs(d);
    if (size > 1e100 || size < 1e-100) return 0;
    const double disc = (a - d) * (a - d) + 4.0 * b * c;
    if (disc < 0.0) return 0;
    const double root = std::sqrt(disc);
    l1 = (a + d + root) * 0.5;
    l2 = (a + d - root) * 0.5;
    return 1;
}

int32_t Svd_Block2x2(double scale, double& top, double& e, double& bottom, double& c, double& s) {
    c = 1.0;
    s = 0.0;
    if (Negligible(scale, bottom)) {
        // ((top, e), (0, 0)): one right-hand rotation moves e into top.
        bottom = 0.0;
        Svd_Givens('b', top, e, c, s);
        Rotate(c, s, top, e);
        e = 0.0;
        return 1;
    }
    if (Negligible(scale, top)) {
        // ((0, e), (0, bottom)): one left-hand rotation moves e into bottom;
        // the right vectors stay.
        double lc, ls;
        top = 0.0;
        Svd_Givens('a', e, bottom, lc, ls);
        Rotate(lc, ls, e, bottom);
        e = 0.0;
        return 1;
    }
    double shift;
    if (!ShiftNearLast(top * top, top * e, e * e + bottom * bottom, shift)) return 0;
    double m[2][2] = {{top, e}, {0.0, bottom}};
    Svd_Givens('b', top * top - shift, top * e, c, s);
    for (int k = 0; k < 2; ++k) Rotate(c, s, m[k][0], m[k][1]);
    double lc, ls;
    Svd_Givens('b', m[0][0], m[1][0], lc, ls);
    for (int k = 0; k < 2; ++k) Rotate(lc, ls, m[0][k], m[1][k]);
    top = m[0][0];
    e = m[0][1];
    bottom = m[1][1];
    return 1;
}

int32_t Svd_QrSweep(double scale, SvdBidiagonal& form) {
    double* d = form.d;
    double* e = form.e;
    double c, s;
    if (Negligible(scale, d[2])) {
        // Chase the superdiagonal out of the last column, on the right.
        Matrix3 m = ToMatrix(form);
        m.b[2][2] = 0.0;
        Svd_Givens('b', m.b[1][1], m.b[1][2], c, s);
        RotateColumns(m, form, 1, 2, c, s);
        m.b[1][2] = 0.0;
        Svd_Givens('b', m.b[0][0], m.b[0][2], c, s);
        RotateColumns(m, form, 0, 2, c, s);
        m.b[0][2] = 0.0;
        FromMatrix(m, form);
        return 1;
    }
    if (Negligible(scale, d[0]) || Negligible(scale, d[1])) {
        // Chase the superdiagonal of the zero row out to the right, on the left.
        Matrix3 m = ToMatrix(form);
        if (Negligible(scale, d[0])) {
            m.b[0][0] = 0.0;
            Svd_Givens('a', m.b[0][1], m.b[1][1], c, s);
            RotateRows(m, 0, 1, c, s);
            m.b[0][1] = 0.0;
            Svd_Givens('a', m.b[0][2], m.b[2][2], c, s);
            RotateRows(m, 0, 2, c, s);
            m.b[0][2] = 0.0;
        } else {
            m.b[1][1] = 0.0;
            Svd_Givens('a', m.b[1][2], m.b[2][2], c, s);
            RotateRows(m, 1, 2, c, s);
            m.b[1][2] = 0.0;
        }
        FromMatrix(m, form);
        return 1;
    }
    // One implicit-shift step, the shift taken from the trailing block of the
    // normal matrix.
    double shift;
    if (!ShiftNearLast(d[1] * d[1] + e[0] * e[0], d[1] * e[1], d[2] * d[2] + e[1] * e[1], shift))
        return 0;
    Matrix3 m = ToMatrix(form);
    Svd_Givens('b', d[0] * d[0] - shift, d[0] * e[0], c, s);
    RotateColumns(m, form, 0, 1, c, s);
    Svd_Givens('b', m.b[0][0], m.b[1][0], c, s);
    RotateRows(m, 0, 1, c, s);
    m.b[1][0] = 0.0;
    Svd_Givens('b', m.b[0][1], m.b[0][2], c, s);
    RotateColumns(m, form, 1, 2, c, s);
    m.b[0][2] = 0.0;
    Svd_Givens('b', m.b[1][1], m.b[2][1], c, s);
    RotateRows(m, 1, 2, c, s);
    m.b[2][1] = 0.0;
    FromMatrix(m, form);
    return 1;
}

int32_t Svd_Decompose(int32_t n, double* x, double* y, double* z, double tolerance, double& s1,
                      Vec3D& r1, double& s2, Vec3D& r2, double& s3, Vec3D& r3) {
    SvdBidiagonal f;
    if (!Svd_Bidiagonalise(n, x, y, z, f)) return 0;
    const double scale = Scale(f);
    int32_t result = 1;
    if (!Converged(scale, f)) {
        result = 0;
        for (int sweep = 0; sweep < kSvdMaxSweeps; ++sweep) {
            if (std::fabs(f.e[0]) < tolerance * (std::fabs(f.d[0]) + std::fabs(f.d[1]))) f.e[0] = 0.0;
            if (std::fabs(f.e[1]) < tolerance * (std::fabs(f.d[1]) + std::fabs(f.d[2]))) f.e[1] = 0.0;
            double c, s;
            if (Negligible(scale, f.e[0])) {
                if (!Svd_Block2x2(scale, f.d[1], f.e[1], f.d[2], c, s)) return 0;
                RotateRightVectors(f, 1, 2, c, s);
            } else if (Negligible(scale, f.e[1])) {
                if (!Svd_Block2x2(scale, f.d[0], f.e[0], f.d[1], c, s)) return 0;
                RotateRightVectors(f, 0, 1, c, s);
            } else if (!Svd_QrSweep(scale, f)) {
                return 0;
            }
            if (Converged(scale, f)) {
                result = 1;
                break;
            }
        }
    }
    WriteSorted(f, s1, r1, s2, r2, s3, r3);
    return result;
}

namespace {

// Three working columns of n doubles, or none when memory runs out.
struct Columns {
    std::unique_ptr<double[]> block;
    double* x = nullptr;
    double* y = nullptr;
    double* z = nullptr;

    explicit Columns(int32_t n) {
        block.reset(new (std::nothrow) double[3 * static_cast<std::size_t>(n)]);
        if (!block) return;
        x = block.get();
        y = x + n;
        z = y + n;
    }
};

}  // namespace

int32_t Svd_OfRows(int32_t n, const Vec3D* rows, double& s1, Vec3D& r1, double& s2, Vec3D& r2,
                   double& s3, Vec3D& r3) {
    if (n < 3) return 0;
    Columns cols(n);
    if (!cols.block) return 0;
    for (int32_t i = 0; i < n; ++i) {
        cols.x[i] = rows[i].x;
        cols.y[i] = rows[i].y;
        cols.z[i] = rows[i].z;
    }
    return Svd_Decompose(n, cols.x, cols.y, cols.z, kSvdTolerance, s1, r1, s2, r2, s3, r3) ? 1 : 0;
}

int32_t M4D_NearestRotation(const Matrix4D& a, Matrix4D& v, Matrix4D& s, Matrix4D& u) {
    M4D_Identity(v);
    M4D_Identity(s);
    M4D_Identity(u);
    // Only the 3x3 part takes part: the translation row must not leak into U.
    Matrix4D a3;
    M4D_Identity(a3);
    Vec3D rows[3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) a3[i * 4 + j] = a[i * 4 + j];
        rows[i] = Vec3D{a[i * 4], a[i * 4 + 1], a[i * 4 + 2]};
    }
    double sigma[3];
    Vec3D r[3];
    if (!Svd_OfRows(3, rows, sigma[0], r[0], sigma[1], r[1], sigma[2], r[2])) return 0;
    for (int i = 0; i < 3; ++i) {
        v[i * 4] = r[i].x;
        v[i * 4 + 1] = r[i].y;
        v[i * 4 + 2] = r[i].z;
        s[i * 5] = sigma[i];
    }
    Matrix4D at;
    M4D_Transpose(a3, at);
    M4D_Multiply(at, v, u);  // row i of U = A rᵢ = σᵢ uᵢ
    if (std::fabs(sigma[0]) < kSvdGuard || std::fabs(sigma[1]) < kSvdGuard) return 0;
    Matrix4D scale;
    M4D_Identity(scale);
    scale[0] = 1.0 / sigma[0];
    scale[5] = 1.0 / sigma[1];
    M4D_Multiply(u, scale, u);
    // The third left vector follows from the first two, so σ3 may be zero.
    Vec3D u0{u[0], u[1], u[2]}, u1{u[4], u[5], u[6]}, u2;
    V3D_Cross(u0, u1, u2);
    u[8] = u2.x;
    u[9] = u2.y;
    u[10] = u2.z;
    if (M4D_Determinant3(v) * M4D_Determinant3(u) < 0.0) {
        u[8] = -u[8];
        u[9] = -u[9];
        u[10] = -u[10];
    }
    return 1;
}

int32_t M4_Orthonormalise(const Matrix4& m, Matrix4& out) {
    const Vec3 translation{m[12], m[13], m[14]};
    Matrix4D wide;
    for (int i = 0; i < 16; ++i) wide[i] = m[i];
    Matrix4D v, s, u;
    if (!M4D_NearestRotation(wide, v, s, u)) return 0;
    Matrix4 vf, uf, ut;
    for (int i = 0; i < 16; ++i) {
        vf[i] = static_cast<float>(v[i]);
        uf[i] = static_cast<float>(u[i]);
    }
    M4_Transpose(uf, ut);
    M4_Multiply(vf, ut, out);
    out[12] = translation.x;
    out[13] = translation.y;
    out[14] = translation.z;
    return 1;
}

int32_t Svd_FitPlaneOrLine(int32_t n, const Vec3D* points, Vec3D& centroid, Vec3D* lineDirection,
                           Vec3D* planeNormal, double* spread, double* lineError,
                           double* planeError) {
    if (n < 3) return 0;
    Columns cols(n);
    if (!cols.block) return 0;
    V3D_Centroid(points, n, centroid);
    for (int32_t i = 0; i < n; ++i) {
        cols.x[i] = points[i].x - centroid.x;
        cols.y[i] = points[i].y - centroid.y;
        cols.z[i] = points[i].z - centroid.z;
    }
    double s1, s2, s3;
    Vec3D r1, r2, r3;
    if (!Svd_Decompose(n, cols.x, cols.y, cols.z, kSvdTolerance, s1, r1, s2, r2, s3, r3)) return 0;
    if (lineDirection) *lineDirection = r1;
    if (planeNormal) *planeNormal = r3;
    if (spread) *spread = std::sqrt((s1 * s1 + s2 * s2 + s3 * s3) / n);
    if (lineError) *lineError = std::sqrt((s2 * s2 + s3 * s3) / n);
    if (planeError) *planeError = std::sqrt(s3 * s3 / n);
    return 1;
}
