// Point and facet operations of the scan record: edit levels, removal by
// mask, normals and the mirroring of the profile matrices.
#include "app/scan/raw_data.h"

#include <algorithm>
#include <cmath>
#include <vector>

bool RawData_PointInEditRange(const RawData& raw, int32_t i) {
    const uint32_t level = (raw.Points[i].Flags & kPointEraseMask) >> kPointEraseShift;
    return level != 0 && level <= raw.EditLimit;
}

bool RawData_FacetAllFlagged(const RawData& raw, int32_t f) {
    const Facet& facet = raw.Facets[f];
    for (int32_t v : facet.v)
        if (v >= raw.RunCursor) return true;
    for (int32_t v : facet.v)
        if (!(raw.Points[v].Run & kRunVisible)) return false;
    return true;
}

uint32_t RawData_FacetColour(const RawData& raw, int32_t f) {
    const Facet& facet = raw.Facets[f];
    uint32_t colour = 0;
    for (int channel = 0; channel < 3; ++channel) {
        int sum = 0;
        for (int32_t v : facet.v) sum += raw.Points[v].Colour[channel];
        colour |= static_cast<uint32_t>(sum / 3) << (8 * channel);
    }
    return colour;
}

bool RawData_PointsMatchProfiles(const RawData& raw) {
    if (raw.TotalSweeps > 0 && (!raw.SweepStartingProfileNo || !raw.SweepFirstPoint)) return false;
    int64_t k = 0;
    for (int32_t s = 0; s < raw.TotalSweeps; ++s) {
        for (int32_t p = raw.SweepStartingProfileNo[s]; p < raw.SweepStartingProfileNo[s + 1]; ++p) {
            const Profile& profile = raw.Profiles[p];
            for (int32_t i = 0; i < profile.NumPoints; ++i, ++k) {
                if (!raw.Points || k >= raw.MaxPoints) return false;
                if (V3_DistanceSquared(profile.Points[i], raw.Points[k].Vertex) != 0.0f) return false;
            }
        }
        if (raw.SweepFirstPoint[s + 1] != k) return false;
    }
    return true;
}

namespace {

// Pass 1: every profile keeps its unmasked points (with their values).
void RemoveProfilePoints(RawData& raw, const uint8_t* mask) {
    int64_t k = 0;
    for (int32_t s = 0; s < raw.TotalSweeps; ++s) {
        for (int32_t p = raw.SweepStartingProfileNo[s]; p < raw.SweepStartingProfileNo[s + 1]; ++p) {
            Profile& profile = raw.Profiles[p];
            int32_t kept = 0;
            for (int32_t i = 0; i < profile.NumPoints; ++i, ++k) {
                if (mask[k]) continue;
                profile.Points[kept] = profile.Points[i];
                if (profile.PointValues) profile.PointValues[kept] = profile.PointValues[i];
                ++kept;
            }
            profile.NumPoints = kept;
        }
    }
}

// Passes 2 and 3: the points, then the facets that keep all three corners.
void RemoveScanPoints(RawData& raw, const uint8_t* mask) {
    std::vector<int32_t> remap(static_cast<std::size_t>(std::max(raw.MaxPoints, 0)));
    int32_t n = 0;
    int32_t begin = raw.SweepFirstPoint[0];
    raw.SweepFirstPoint[0] = 0;
    for (int32_t s = 0; s < raw.TotalSweeps; ++s) {
        const int32_t end = raw.SweepFirstPoint[s + 1];
        for (int32_t k = begin; k < end; ++k) {
            if (mask[k]) continue;
            raw.Points[n] = raw.Points[k];
            remap[k] = n++;
        }
        raw.SweepFirstPoint[s + 1] = n;
        begin = end;
    }

    int32_t out = 0;
    begin = raw.SweepFirstFacet[0];
    raw.SweepFirstFacet[0] = 0;
    for (int32_t s = 0; s < raw.TotalSweeps; ++s) {
        const int32_t end = raw.SweepFirstFacet[s + 1];
        for (int32_t f = begin; f < end; ++f) {
            Facet facet = raw.Facets[f];
            if (mask[facet.v[0]] || mask[facet.v[1]] || mask[facet.v[2]]) continue;
            for (int32_t& v : facet.v) v = remap[v];
            raw.Facets[out] = facet;
            raw.FacetNormals[out] = raw.FacetNormals[f];
            ++out;
        }
        raw.SweepFirstFacet[s + 1] = out;
        begin = end;
    }
}

}  // namespace

void RawData_RemovePointsByMask(RawData& raw, const uint8_t* mask) {
    if (raw.TotalSweeps <= 0 || !raw.SweepStartingProfileNo || !raw.SweepFirstPoint) return;
    RemoveProfilePoints(raw, mask);
    if (raw.Points && raw.SweepFirstFacet) RemoveScanPoints(raw, mask);
    raw.NumPoints = raw.SweepFirstPoint[raw.NumSweeps];
    raw.NumFacets = raw.SweepFirstFacet ? raw.SweepFirstFacet[raw.NumSweeps] : 0;
}

void RawData_MarkEditablePoints(RawData& raw) {
    if (!RawData_PointsMatchProfiles(raw) || raw.TotalSweeps <= 0) return;
    const int32_t count = raw.SweepFirstPoint[raw.TotalSweeps];
    std::vector<uint8_t> mask(static_cast<std::size_t>(std::max(count, 0)));
    for (int32_t i = 0; i < count; ++i) mask[i] = RawData_PointInEditRange(raw, i) ? 1 : 0;
    RawData_RemovePointsByMask(raw, mask.data());
}

namespace {
void Negate(Vec3& v) { v = Vec3{-v.x, -v.y, -v.z}; }
}  // namespace

void RawData_FlipNormals(RawData& raw) {
    for (int32_t i = 0; i < raw.NumPoints; ++i) Negate(raw.Points[i].Normal);
    for (int32_t f = 0; f < raw.NumFacets; ++f) Negate(raw.FacetNormals[f]);
}

void RawData_FlipSweepNormals(RawData& raw, int32_t s) {
    if (s < 0 || s >= raw.NumSweeps) return;
    for (int32_t i = raw.SweepFirstPoint[s]; i < raw.SweepFirstPoint[s + 1]; ++i) Negate(raw.Points[i].Normal);
    for (int32_t f = raw.SweepFirstFacet[s]; f < raw.SweepFirstFacet[s + 1]; ++f) {
        Negate(raw.FacetNormals[f]);
        std::swap(raw.Facets[f].v[0], raw.Facets[f].v[1]);
    }
}

void RawData_ComputeNormals(RawData& raw) {
    for (int32_t i = 0; i < raw.NumPoints; ++i) raw.Points[i].Normal = Vec3{0.0f, 0.0f, 0.0f};
    for (int32_t f = 0; f < raw.NumFacets; ++f) {
        const Facet& facet = raw.Facets[f];
        const Vec3& a = raw.Points[facet.v[0]].Vertex;
        Vec3 ab, ac, n;
        V3_Sub(raw.Points[facet.v[1]].Vertex, a, ab);
        V3_Sub(raw.Points[facet.v[2]].Vertex, a, ac);
        V3_Cross(ab, ac, n);  // not normalised: larger facets weigh more
        for (int32_t v : facet.v) V3_Add(raw.Points[v].Normal, n, raw.Points[v].Normal);
        V3_Normalise(n, raw.FacetNormals[f]);
    }
    for (int32_t i = 0; i < raw.NumPoints; ++i) V3_Normalise(raw.Points[i].Normal, raw.Points[i].Normal);
}

bool RawData_CheckReferenceMatrices(const RawData& raw) {
    for (int32_t p = 0; p < raw.NumProfiles; ++p) {
        Matrix4 r = raw.Profiles[p].RawReferenceRxMatrix;
        r[12] = r[13] = r[14] = 0.0f;
        Matrix4 rt, product;
        M4_Transpose(r, rt);
        M4_Multiply(rt, r, product);  // R·Rᵀ
        for (int i = 0; i < 16; ++i) {
            const float expected = (i % 5 == 0) ? 1.0f : 0.0f;
            if (!(std::fabs(product[i] - expected) <= 1e-5f)) return false;
        }
    }
    return true;
}

void RawData_MirrorProfileMatrices(RawData& raw, bool wand, bool reference) {
    for (int32_t p = 0; p < raw.NumProfiles; ++p) {
        Profile& profile = raw.Profiles[p];
        const Matrix4 wandOld = profile.WandRxMatrix;
        const Matrix4 referenceOld = profile.ReferenceRxMatrix;
        for (int i = 12; i < 15; ++i) {
            if (wand) profile.WandRxMatrix[i] = -profile.WandRxMatrix[i];
            if (reference) profile.ReferenceRxMatrix[i] = -profile.ReferenceRxMatrix[i];
        }
        Matrix4 wandInverse, referenceInverse, m;
        M4_InvertRigid(wandOld, wandInverse);
        M4_Multiply(wandInverse, referenceOld, m);
        M4_Multiply(profile.WandRxMatrix, m, m);
        M4_InvertRigid(profile.ReferenceRxMatrix, referenceInverse);
        M4_Multiply(referenceInverse, m, m);
        for (int32_t i = 0; i < profile.NumPoints; ++i) M4_TransformPoint(m, profile.Points[i], profile.Points[i]);
    }
}

void RawData_MirrorWandMatrices(RawData& raw) { RawData_MirrorProfileMatrices(raw, true, false); }

void RawData_MirrorReferenceMatrices(RawData& raw) { RawData_MirrorProfileMatrices(raw, false, true); }
