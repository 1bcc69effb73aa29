// The scan points of a load: rebuilt from the profiles (which hold scan
// coordinates already) with the stored facets, or made again by profile
// processing when the file holds no facets.
#include "app/scanfile/facet_coder.h"
#include "app/scanfile/scan_file_load.h"

#include "app/scan/profile_math.h"
#include "app/scan/profile_processing.h"
#include "app/scan/stylus_placement.h"

#include <cstring>
#include <memory>

namespace {

// The two error terms of each point of profile p, as processing makes them
// (its greyscale is processing's own):
// the range term (and the squared range) from the wand and reference
// positions, and the squared distance the point moves with the wand towards
// the neighbouring profile `other` (none: 0).
void PointTerms(RawData& raw, const Profile& p, const Profile* other, int32_t start) {
    using namespace profile_math;
    const Vec3 wand{p.WandRxMatrix[12], p.WandRxMatrix[13], p.WandRxMatrix[14]};
    const Vec3 reference{p.ReferenceRxMatrix[12], p.ReferenceRxMatrix[13], p.ReferenceRxMatrix[14]};
    Matrix4 referenceInverse, motion;
    M4_InvertRigid(p.ReferenceRxMatrix, referenceInverse);
    Vec3 t;
    M4_TransformPoint(referenceInverse, wand, t);
    const double wandTerm = kScanVarianceFactor * V3_LengthSquared(wand);
    const double referenceTerm = kScanVarianceFactor * V3_LengthSquared(reference);
    if (other) Scan_RelativeMotion(p, *other, motion);
    for (int32_t k = 0; k < p.NumPoints; ++k) {
        ScanPoint& sp = raw.Points[start + k];
        sp.Value = DistanceSquared(sp.Vertex, t);
        double variance = kScanVarianceFactor * sp.Value + wandTerm;
        if (p.ReferenceEnabled) variance += kScanVarianceFactor * LengthSquared(sp.Vertex) + referenceTerm;
        sp.Variance = static_cast<float>(variance);
        sp.ResolutionSq = other ? DistanceSquared(sp.Vertex, Transform(motion, sp.Vertex)) : 0.0f;
    }
}

bool FacetsInside(const RawData& raw, int32_t points) {
    for (int32_t f = 0; f < raw.NumFacets; ++f)
        for (int32_t v : raw.Facets[f].v)
            if (v < 0 || v >= points) return false;
    return true;
}

void ReserveFacets(RawData& raw, int32_t count) {
    const std::size_t n = static_cast<std::size_t>(count > 0 ? count : 1);
    raw.Facets = static_cast<Facet*>(BigBuffer_Alloc(*raw.FacetBlock, n * sizeof(Facet)));
    raw.FacetNormals = static_cast<Vec3*>(BigBuffer_Alloc(*raw.FacetNormalBlock, n * sizeof(Vec3)));
    if (raw.MaxFacets < count) raw.MaxFacets = count;
}

// One point a profile point, the normals from the facets, the error terms,
// and the per-sweep tables; processing's cursors left past every profile.
LoadStatus Rebuild(LoadState& st, RawData& raw) {
    const auto total = static_cast<int32_t>(st.profilePoints);
    if (!FacetsInside(raw, total)) return kLoadBadField;
    raw.Points = static_cast<ScanPoint*>(
        BigBuffer_Alloc(*raw.PointBlock, static_cast<std::size_t>(total > 0 ? total : 1) * sizeof(ScanPoint)));
    raw.MaxPoints = total;
    std::memset(raw.Points, 0, static_cast<std::size_t>(total) * sizeof(ScanPoint));
    int32_t at = 0;
    for (int32_t p = 0; p < raw.NumProfiles; ++p)
        for (int32_t k = 0; k < raw.Profiles[p].NumPoints; ++k) raw.Points[at++].Vertex = raw.Profiles[p].Points[k];
    raw.NumPoints = total;
    RawData_ComputeNormals(raw);

    int32_t point = 0, facet = 0;
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        const int32_t first = raw.SweepStartingProfileNo[s], end = raw.SweepStartingProfileNo[s + 1];
        raw.SweepFirstPoint[s] = point;
        while (facet < raw.NumFacets && raw.Facets[facet].v[0] < point) ++facet;
        raw.SweepFirstFacet[s] = facet;
        for (int32_t p = first; p < end; ++p) {
            const Profile* other = end - first < 2 ? nullptr : &raw.Profiles[p == first ? first + 1 : p - 1];
            PointTerms(raw, raw.Profiles[p], other, point);
            Scan_ProfileGreyscale(raw, raw.Profiles[p], point);
            point += raw.Profiles[p].NumPoints;
        }
    }
    raw.SweepFirstPoint[raw.NumSweeps] = point;
    raw.SweepFirstFacet[raw.NumSweeps] = raw.NumFacets;
    raw.CurrentSweep = raw.NumSweeps;
    raw.CurrentSweepProfile = raw.NumProfilesProcessed = raw.NumProfiles;
    return kLoadOk;
}

LoadStatus ProcessAgain(RawData& raw, const GeneralSettings* settings) {
    std::unique_ptr<GeneralSettings> defaults;
    if (!settings) {
        defaults.reset(new GeneralSettings());
        GeneralSettings_SetDefaults(*defaults, 0, 0);
        settings = defaults.get();
    }
    raw.NumPoints = raw.NumFacets = 0;
    raw.CurrentSweep = raw.CurrentSweepProfile = raw.NumProfilesProcessed = 0;
    if (Scan_ProcessNewProfiles(raw, settings->ProfileFilterLength, settings->RawResolutionClip[1]) != kScanProcessOk)
        return kLoadOutOfMemory;
    StylusItems_UpdateShifts(raw.Stylus, raw, settings->Stylus.SurfaceDistance);
    return kLoadOk;
}

}  // namespace

LoadStatus Load_ScanPoints(LoadState& st, RawData& raw, const GeneralSettings* settings) {
    if (!st.pointsDecoded) return kLoadOk;
    if (!raw.PointBlock || !raw.FacetBlock || !raw.FacetNormalBlock) return kLoadOutOfMemory;  // no room attached
    try {
        if (const StoreItem* coded = Load_Item(st.store, "Raw/CompressedRawFacetsV1", ItemType::UInt8, 1)) {
            if (!FacetCoder_DecompressMesh(raw, coded->As<uint8_t>(), static_cast<int32_t>(coded->byteSize)))
                return kLoadBadField;
            if (raw.NumFacets > 0) {
                ReserveFacets(raw, raw.NumFacets);
                return Rebuild(st, raw);
            }
            return ProcessAgain(raw, settings);
        }
        if (const StoreItem* plain = Load_Item(st.store, "Raw/FacetsV1", ItemType::Int32, 2, -1, 3)) {
            ReserveFacets(raw, plain->sizes[0]);
            raw.NumFacets = plain->sizes[0];
            std::memcpy(raw.Facets, plain->data, plain->byteSize);
            return Rebuild(st, raw);
        }
        return ProcessAgain(raw, settings);
    } catch (const std::bad_alloc&) {
        raw.NumFacets = raw.MaxFacets = 0;
        return kLoadOutOfMemory;
    }
}
