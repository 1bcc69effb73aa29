// Operation numbers of the library's public operations, their API names and
// the progress texts the reporter announces them with.
#ifndef SURFACE_FRAME_OPERATION_NUMBERS_H
#define SURFACE_FRAME_OPERATION_NUMBERS_H

#include <cstdint>

enum OperationNumber : int32_t {
    Op_None = 0,
    Op_Complete = 1,
    Op_Unique2 = 2,
    Op_Fit2 = 3,
    Op_PointEval2 = 4,
    Op_PointGradient2 = 5,
    Op_GridEval2 = 6,
    Op_GridGradient2 = 7,
    Op_Unique3 = 8,
    Op_Fit3 = 9,
    Op_PointEval3 = 10,
    Op_PointGradient3 = 11,
    Op_GridEval3 = 12,
    Op_GridGradient3 = 13,
    Op_CheckMesh3 = 14,
    Op_SplitMeshParts = 15,  // has no API name
    Op_MakeConsistentMesh3 = 16,
    Op_NormalsFromMesh3 = 17,
    Op_NormalsFromScan3 = 18,
    Op_NormalsFromSigns3 = 19,
    Op_NormalsFromPoints3 = 20,
    Op_DensityFromNormals3 = 21,
    Op_Isosurf3 = 22,
    Op_Simplify3 = 23,
    Op_CropPointList2 = 24,
    Op_CropPointList3 = 25,
    Op_CropMesh3 = 26,
    Op_CropScan3 = 27,
    Op_CropScanRange3 = 28,
    Op_RemoveOutliers3 = 29,
    Op_RemoveNonMeshPoints3 = 30,
    Op_TrimPointList2 = 31,
    Op_TrimPointList3 = 32,
    Op_TrimMesh3 = 33,
    Op_TrimScan3 = 34,
    Op_DistanceToPoints2 = 35,
    Op_DistanceToPoints3 = 36,
    Op_SavePointList2 = 37,
    Op_LoadPointList2 = 38,
    Op_SaveGrid2 = 39,
    Op_LoadGrid2 = 40,
    Op_SaveSolution2 = 41,
    Op_LoadSolution2 = 42,
    Op_SavePointList3 = 43,
    Op_LoadPointList3 = 44,
    Op_SaveGrid3 = 45,
    Op_LoadGrid3 = 46,
    Op_SaveSolution3 = 47,
    Op_LoadSolution3 = 48,
    Op_SaveScan3 = 49,
    Op_LoadScan3 = 50,
    Op_SaveMesh3 = 51,
    Op_LoadMesh3 = 52,
    Op_LoadPointListAny = 53,
    Op_LoadGridAny = 54,
    Op_LoadSolutionAny = 55,
    Op_LoadAll = 56,
    Op_Ptx_LoadAndCompress = 57,
    Op_Pto_Load = 58,
    Op_Obj_Load = 59,
    Op_Obj_Save = 60,
    Op_Txt_Load = 61,
    Op_Txt_Save = 62,
    Op_Stl_Load = 63,
    Op_Stl_Save = 64,
    Op_Dxf_Save = 65,
    Op_Vrml_Save = 66,
    Op_Png_Save = 67,
    Op_Iges_Save = 68,
    Op_UserFunction = 69,
};

// Entries of the API name table: operation N is entry N for N up to 14 and
// entry N - 1 from 16 on (operation 15 has no name).
constexpr int32_t kOperationNameCount = 69;

// The progress text of an operation number; "Unknown function" for any
// number without one.
const char* Reporter_OperationText(int32_t operation);
// Entry `index` of the API name table (0 to 68), else null.
const char* Reporter_OperationName(int32_t index);

#endif
