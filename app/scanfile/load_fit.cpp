// What a load hands to the surface library: the basic surface's points as
// the fit input, and the fit and parameters an earlier release stored.
#include "app/scanfile/scan_file_load.h"

#include <cstring>

namespace {

template <class T>
void Copy(ItemStore* s, const char* path, ItemType type, int dims, int32_t size, T* out, std::size_t count) {
    const StoreItem* item = Load_Item(s, path, type, dims, size);
    if (item && item->byteSize == count * sizeof(T)) std::memcpy(out, item->data, item->byteSize);
}

void LoadSolution(ItemStore* s, LoadedFit& fit) {
    if (const StoreItem* c = Load_Item(s, "RBF/Solution/Centres", ItemType::Float64, 2, -1, 3))
        fit.centres.assign(c->As<double>(), c->As<double>() + 3 * std::size_t(c->sizes[0]));
    if (const StoreItem* c = Load_Item(s, "RBF/Solution/Coefficients", ItemType::Float64, 1))
        fit.coefficients.assign(c->As<double>(), c->As<double>() + c->sizes[0]);
    Copy(s, "RBF/Solution/PolyBase", ItemType::Float64, 1, 3, fit.polyBase, 3);
    Copy(s, "RBF/Solution/AchievedAccuracy", ItemType::Float64, 0, -1, &fit.achievedAccuracy, 1);
    Copy(s, "RBF/Solution/DefaultEvaluationAccuracy", ItemType::Float64, 0, -1, &fit.defaultEvaluationAccuracy, 1);
    Copy(s, "RBF/Solution/DataMin", ItemType::Float64, 1, 3, fit.dataMin, 3);
    Copy(s, "RBF/Solution/DataMax", ItemType::Float64, 1, 3, fit.dataMax, 3);
    fit.fitType = Load_Int(s, "RBF/Solution/FitType", 0);
    fit.polyDegree = Load_Int(s, "RBF/Solution/PolyDegree", 0);
    Copy(s, "RBF/Solution/Rho", ItemType::Float64, 0, -1, &fit.rho, 1);
    fit.basicFuncType = Load_Int(s, "RBF/Solution/BasicFuncType", 0);
    Copy(s, "RBF/Solution/BasicFuncC", ItemType::Float64, 0, -1, &fit.basicFuncC, 1);
    fit.basicFuncK = Load_Int(s, "RBF/Solution/BasicFuncK", 0);
    Load_Text(s, "RBF/Solution/Version", fit.version, 31);
}

void LoadOlderParams(ItemStore* s, LoadedFit& fit) {
    Matrix4 m;
    if (Load_Matrix(s, "RBF/Params/ViewMatrix", m)) std::memcpy(fit.params, &m, sizeof m);
    Copy(s, "RBF/Params/ViewOrigin", ItemType::Float32, 1, 3, reinterpret_cast<float*>(fit.params + 16), 3);
    static const struct {
        const char* path;
        bool isFloat;
    } kWords[] = {{"RBF/Params/InputFilter", true},
                  {"RBF/Params/InputResolution", true},
                  {"RBF/Params/InputSimplifyError", true},
                  {"RBF/Params/Limit", false},
                  {"RBF/Params/Accuracy", true},
                  {"RBF/Params/Resolution", true},
                  {"RBF/Params/MemoryToUse", false},
                  {"RBF/Params/ExtraTrim", true},
                  {"RBF/Params/Close", false},
                  {"RBF/Params/DoSimplify", false},
                  {"RBF/Params/SimpError", true},
                  {"RBF/Params/SimpAngle", true},
                  {"RBF/Params/SimpNFaces", false},
                  {"RBF/Params/SimpNPoints", false}};
    int word = 19;
    for (const auto& w : kWords) {
        const StoreItem* item = Load_Item(s, w.path, w.isFloat ? ItemType::Float32 : ItemType::Int32, 0);
        if (item) std::memcpy(&fit.params[word], item->data, 4);
        ++word;
    }
}

}  // namespace

LoadStatus Load_StoredFit(ItemStore* s, const SurfaceRecord& basic, const StylusItemList* stylus,
                          const GeneralSettings* settings, LoadedFit& fit) {
    const int32_t validity = Load_Int(s, "RBF/Solution/ValidityV2", 3);
    fit.restartStage = validity < 1 ? validity : 1;
    if (fit.restartStage < 0) fit.restartStage = 0;
    try {
        fit.input.assign(basic.Points, basic.Points + basic.NumPoints);
        const bool withStylus = settings && settings->RbfParams.RbfUseStylusPoints;
        for (int32_t k = 0; withStylus && stylus && k < stylus->VisibleCount; ++k) {
            const StylusItem& item = stylus->Items[k];
            if (item.Flags & (kStylusHidden | kStylusLineHead)) continue;
            fit.input.push_back(Vec3{item.Pose[12], item.Pose[13], item.Pose[14]});
        }
        LoadSolution(s, fit);
    } catch (const std::bad_alloc&) {
        return kLoadOutOfMemory;
    }
    LoadOlderParams(s, fit);
    return kLoadOk;
}
