// Solution files; every operation is written once over the dimension D.
#include "surface/io/solution_file.h"

#include "surface/frame/operation_numbers.h"
#include "surface/frame/reporter.h"
#include "surface/io/data_file.h"

namespace {

constexpr int32_t kVersionBytes = 32;

template <int D, class Solution>
int BuildItems(const Solution* solution, ContainerIndex* index) {
    auto* s = const_cast<Solution*>(solution);
    const int32_t d[1] = {D}, centres[2] = {D, s->CentreCount}, coeffs[1] = {s->CoeffCount},
                  indices[1] = {s->CentreCount}, version[1] = {kVersionBytes};
    const auto add = [&](const char* name, int32_t kind, int32_t dims, const int32_t* sizes, void* data) {
        return ContainerIndex_AddShaped(index, name, kind, dims, sizes, data) != nullptr;
    };
    return ContainerIndex_Reserve(index, 15) &&
           add("AchievedAcc", ContainerKind_Double, 0, nullptr, &s->AchievedAccuracy) &&
           add("DefaultEvalAcc", ContainerKind_Double, 0, nullptr, &s->DefaultEvalAccuracy) &&
           add("Centres", ContainerKind_Double, 2, centres, s->Centres) &&
           add("Coeffs", ContainerKind_Double, 1, coeffs, s->Coeffs) &&
           add("PolyBase", ContainerKind_Double, 1, d, s->PolyBase) &&
           add("DataMin", ContainerKind_Double, 1, d, s->DataMin) &&
           add("DataMax", ContainerKind_Double, 1, d, s->DataMax) &&
           (s->Indices == nullptr || add("Indices", ContainerKind_Integer, 1, indices, s->Indices)) &&
           add("BasicFunc", ContainerKind_Integer, 0, nullptr, &s->Basic.Type) &&
           add("BasicFuncParam", ContainerKind_Double, 0, nullptr, &s->Basic.C) &&
           add("BasicFuncParam2", ContainerKind_Integer, 0, nullptr, &s->Basic.K) &&
           add("PolyDegree", ContainerKind_Integer, 0, nullptr, &s->PolyDegree) &&
           add("Rho", ContainerKind_Double, 0, nullptr, &s->Rho) &&
           add("FitType", ContainerKind_Integer, 0, nullptr, &s->FitType) &&
           add("Version", ContainerKind_Character, 1, version, s->Creator);
}

template <int D, class Solution, int (*Create)(Solution*, int32_t, int32_t)>
int BindItems(Solution* solution, SolutionLoad* load, ContainerIndex* index, const char* fileKind, Reporter* reporter) {
    const char* kind = fileKind;
    ContainerItem *achieved, *evalAcc, *centres, *coeffs, *polyBase, *dataMin, *dataMax, *indices, *basic, *param,
        *param2, *degree, *rho, *fitType, *version;
    const auto single = [&](ContainerItem** item, const char* name, int32_t optional, int32_t k) {
        return File_CheckItem(reporter, index, kind, item, name, optional, k, 0);
    };
    if (!single(&achieved, "AchievedAcc", 0, ContainerKind_Double) ||
        !single(&evalAcc, "DefaultEvalAcc", 0, ContainerKind_Double) ||
        !File_CheckItem(reporter, index, kind, &centres, "Centres", 0, ContainerKind_Double, 2, {D, -1}))
        return 36;
    const int32_t m = centres->dimensions[1];
    if (!File_CheckItem(reporter, index, kind, &coeffs, "Coeffs", 0, ContainerKind_Double, 1) ||
        !File_CheckItem(reporter, index, kind, &polyBase, "PolyBase", 1, ContainerKind_Double, 1, {D}) ||
        !File_CheckItem(reporter, index, kind, &dataMin, "DataMin", 0, ContainerKind_Double, 1, {D}) ||
        !File_CheckItem(reporter, index, kind, &dataMax, "DataMax", 0, ContainerKind_Double, 1, {D}) ||
        !File_CheckItem(reporter, index, kind, &indices, "Indices", 1, ContainerKind_Integer, 1, {m}) ||
        !single(&basic, "BasicFunc", 0, ContainerKind_Integer) ||
        !single(&param, "BasicFuncParam", 0, ContainerKind_Double) ||
        !single(&param2, "BasicFuncParam2", 1, ContainerKind_Integer) ||
        !single(&degree, "PolyDegree", 1, ContainerKind_Integer) || !single(&rho, "Rho", 0, ContainerKind_Double) ||
        !single(&fitType, "FitType", 0, ContainerKind_Integer) ||
        !File_CheckItem(reporter, index, kind, &version, "Version", 0, ContainerKind_Character, 1, {kVersionBytes}))
        return 36;
    // The solution has room for M + 15 coefficients: more would overrun it.
    const int32_t k = coeffs->dimensions[0];
    if (static_cast<int64_t>(k) > static_cast<int64_t>(m) + 15) {
        Reporter_Error(reporter, "Incorrect number of coefficients in file");
        return 36;
    }
    if (int status = Create(solution, m, indices != nullptr)) return status;
    solution->CoeffCount = k;
    *load = SolutionLoad{0, 0, -2, degree != nullptr};
    achieved->data = &solution->AchievedAccuracy;
    evalAcc->data = &solution->DefaultEvalAccuracy;
    centres->data = solution->Centres;
    coeffs->data = solution->Coeffs;
    if (polyBase != nullptr) polyBase->data = solution->PolyBase;
    dataMin->data = solution->DataMin;
    dataMax->data = solution->DataMax;
    if (indices != nullptr) indices->data = solution->Indices;
    basic->data = &load->basicFunction;
    param->data = &solution->Basic.C;
    if (param2 != nullptr) param2->data = &solution->Basic.K;
    if (degree != nullptr) degree->data = &load->polyDegree;
    rho->data = &solution->Rho;
    fitType->data = &load->fitType;
    version->data = solution->Creator;
    return 0;
}

template <int D, class Solution>
int FinishLoad(Solution* solution, const SolutionLoad* load, int32_t ascii, Reporter* reporter) {
    const int64_t terms = static_cast<int64_t>(solution->CoeffCount) - solution->CentreCount;
    int32_t degree = load->hasDegree ? load->polyDegree : -2;
    if (degree < -1) degree = terms >= 0 && terms <= 10 ? Poly_DegreeFromCount(static_cast<int32_t>(terms), D) : -2;
    if (degree < -1 || degree > 2 || terms != Poly_CoeffCount(degree, D)) {
        Reporter_Error(reporter, "Incorrect number of coefficients in file");
        return 36;
    }
    solution->PolyDegree = degree;
    solution->FitType = load->fitType;
    solution->Basic.Type = load->basicFunction;
    // The text came from the file: keep it a string whatever the file held.
    solution->Creator[kVersionBytes - 1] = '\0';
    Reporter_EndOperation(reporter);
    Reporter_Value(reporter, "Centres", "%d", solution->CentreCount);
    Reporter_Value(reporter, "Coeffs", "%d", solution->CoeffCount);
    File_ReportEncoding(reporter, ascii);
    return 0;
}

template <int D, class Solution, int (*Check)(const Solution*, Reporter*)>
int Write(const Solution* solution, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    if (!Check(solution, reporter)) {
        Reporter_TimeTaken(reporter);
        return 6;
    }
    Reporter_Value(reporter, "Centres", "%d", solution->CentreCount);
    Reporter_Value(reporter, "Dimensions", "%d", D);
    File_ReportEncoding(reporter, ascii);
    return File_Save(stream, ascii, reporter,
                     [&](ContainerIndex* index) { return BuildItems<D>(solution, index) != 0; });
}

template <int D, class Solution, int (*Create)(Solution*, int32_t, int32_t), void (*Clear)(Solution*),
          void (*Free)(Solution*)>
int Read(Solution* solution, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    if (solution == nullptr) {
        Reporter_Error(reporter, "Solution argument is NULL");
        Reporter_TimeTaken(reporter);
        return 6;
    }
    Clear(solution);
    SolutionLoad load{};
    return File_Load(
        stream, line, reporter, FileLoadSteps{false, false, false},
        [&](ContainerIndex* index) {
            return BindItems<D, Solution, Create>(solution, &load, index, "solution", reporter);
        },
        [&](ContainerIndex* index, int32_t) {
            return FinishLoad<D>(solution, &load, index->encoding == ContainerEncoding_Ascii, reporter);
        },
        [&] { Free(solution); });
}

template <int D, class Solution>
int32_t FileBytes(const Solution* solution, int32_t ascii) {
    if (solution == nullptr) return -1;
    ContainerIndex index;
    Container_ResetIndex(&index);
    index.encoding = ascii ? ContainerEncoding_Ascii : ContainerEncoding_Binary;
    const int32_t bytes = BuildItems<D>(solution, &index) ? Container_Bytes(&index) : -1;
    Container_FreeItems(&index);
    return bytes;
}

}  // namespace

int Solution2_BuildItems(const Solution2* solution, ContainerIndex* index) { return BuildItems<2>(solution, index); }
int Solution3_BuildItems(const Solution3* solution, ContainerIndex* index) { return BuildItems<3>(solution, index); }
int32_t Solution2_FileBytes(const Solution2* solution, int32_t ascii) { return FileBytes<2>(solution, ascii); }
int32_t Solution3_FileBytes(const Solution3* solution, int32_t ascii) { return FileBytes<3>(solution, ascii); }
int Solution2_BindItems(Solution2* solution, SolutionLoad* load, ContainerIndex* index, const char* fileKind,
                        Reporter* reporter) {
    return BindItems<2, Solution2, &Solution2_Create>(solution, load, index, fileKind, reporter);
}
int Solution3_BindItems(Solution3* solution, SolutionLoad* load, ContainerIndex* index, const char* fileKind,
                        Reporter* reporter) {
    return BindItems<3, Solution3, &Solution3_Create>(solution, load, index, fileKind, reporter);
}
int Solution2_FinishLoad(Solution2* solution, const SolutionLoad* load, int32_t ascii, Reporter* reporter) {
    return FinishLoad<2>(solution, load, ascii, reporter);
}
int Solution3_FinishLoad(Solution3* solution, const SolutionLoad* load, int32_t ascii, Reporter* reporter) {
    return FinishLoad<3>(solution, load, ascii, reporter);
}

int Solution2_Write(const Solution2* solution, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    return Write<2, Solution2, &Solution2_Check>(solution, stream, ascii, reporter);
}
int Solution3_Write(const Solution3* solution, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    return Write<3, Solution3, &Solution3_Check>(solution, stream, ascii, reporter);
}
int Solution2_Read(Solution2* solution, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    return Read<2, Solution2, &Solution2_Create, &Solution2_Clear, &Solution2_Free>(solution, stream, line, reporter);
}
int Solution3_Read(Solution3* solution, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    return Read<3, Solution3, &Solution3_Create, &Solution3_Clear, &Solution3_Free>(solution, stream, line, reporter);
}

int Selvane_SaveSolution2(const Solution2* solution, std::FILE* file, int32_t ascii, Reporter* reporter) {
    return File_SaveEntry(reporter, Op_SaveSolution2, file, ascii,
                          [&](ContainerStream* s, int32_t a) { return Solution2_Write(solution, s, a, reporter); });
}
int Selvane_LoadSolution2(Solution2* solution, std::FILE* file, int32_t* line, Reporter* reporter) {
    return File_LoadEntry(reporter, Op_LoadSolution2, file, line,
                          [&](ContainerStream* s) { return Solution2_Read(solution, s, line, reporter); });
}
int Selvane_SaveSolution3(const Solution3* solution, std::FILE* file, int32_t ascii, Reporter* reporter) {
    return File_SaveEntry(reporter, Op_SaveSolution3, file, ascii,
                          [&](ContainerStream* s, int32_t a) { return Solution3_Write(solution, s, a, reporter); });
}
int Selvane_LoadSolution3(Solution3* solution, std::FILE* file, int32_t* line, Reporter* reporter) {
    return File_LoadEntry(reporter, Op_LoadSolution3, file, line,
                          [&](ContainerStream* s) { return Solution3_Read(solution, s, line, reporter); });
}
