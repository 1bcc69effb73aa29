#include "surface/frame/operation_numbers.h"

namespace {

// Progress text of every operation number 0 to 69.
const char* const kProgressTexts[] = {
    "Unknown function",                                // 0
    "Unknown function",                                // 1
    "Removing overlapping points",                     // 2
    "Fitting RBF",                                     // 3
    "Evaluating RBF at points",                        // 4
    "Evaluating RBF at points",                        // 5
    "Evaluating RBF on grid",                          // 6
    "Evaluating RBF on grid",                          // 7
    "Removing overlapping points",                     // 8
    "Fitting RBF",                                     // 9
    "Evaluating RBF at points",                        // 10
    "Evaluating RBF at points",                        // 11
    "Evaluating RBF on grid",                          // 12
    "Evaluating RBF on grid",                          // 13
    "Checking mesh",                                   // 14
    "Splitting mesh into parts",                       // 15
    "Making mesh consistent",                          // 16
    "Creating normals from mesh",                      // 17
    "Creating normals from scanner positions",         // 18
    "Creating normals from outward pointing vectors",  // 19
    "Creating normals from point patches",             // 20
    "Creating density data from normals",              // 21
    "Isosurfacing RBF",                                // 22
    "Simplifying mesh",                                // 23
    "Cropping data",                                   // 24
    "Cropping data",                                   // 25
    "Cropping data",                                   // 26
    "Cropping data",                                   // 27
    "Cropping data",                                   // 28
    "Removing outliers",                               // 29
    "Unknown function",                                // 30
    "Trimming data",                                   // 31
    "Trimming data",                                   // 32
    "Trimming data",                                   // 33
    "Trimming data",                                   // 34
    "Calculating distances to points",                 // 35
    "Calculating distances to points",                 // 36
    "Saving point list",                               // 37
    "Loading point list",                              // 38
    "Saving grid",                                     // 39
    "Loading grid",                                    // 40
    "Saving RBF solution",                             // 41
    "Loading RBF solution",                            // 42
    "Saving point list",                               // 43
    "Loading point list",                              // 44
    "Saving grid",                                     // 45
    "Loading grid",                                    // 46
    "Saving RBF solution",                             // 47
    "Loading RBF solution",                            // 48
    "Saving scan",                                     // 49
    "Loading scan",                                    // 50
    "Saving mesh",                                     // 51
    "Loading mesh",                                    // 52
    "Loading point list",                              // 53
    "Loading grid",                                    // 54
    "Loading RBF solution",                            // 55
    "Loading data",                                    // 56
    "Loading PTX format scan",                         // 57
    "Loading PTO format scan",                         // 58
    "Loading OBJ format mesh",                         // 59
    "Saving OBJ format mesh",                          // 60
    "Loading TXT format point list",                   // 61
    "Saving TXT format point list",                    // 62
    "Loading STL format mesh",                         // 63
    "Saving STL format mesh",                          // 64
    "Saving DXF format mesh",                          // 65
    "Saving VRML format mesh",                         // 66
    "Saving PNG format image",                         // 67
    "Saving Iges format mesh",                         // 68
    "Unknown function",                                // 69
};

// API names; operation 15 has no entry, so operations from 16 on sit one
// entry lower than their number.
const char* const kOperationNames[kOperationNameCount] = {
    "None",
    "Complete",
    "Selvane_Unique2",
    "Selvane_Fit2",
    "Selvane_PointEval2",
    "Selvane_PointGradient2",
    "Selvane_GridEval2",
    "Selvane_GridGradient2",
    "Selvane_Unique3",
    "Selvane_Fit3",
    "Selvane_PointEval3",
    "Selvane_PointGradient3",
    "Selvane_GridEval3",
    "Selvane_GridGradient3",
    "Selvane_CheckMesh3",
    "Selvane_MakeConsistentMesh3",
    "Selvane_NormalsFromMesh3",
    "Selvane_NormalsFromScan3",
    "Selvane_NormalsFromSigns3",
    "Selvane_NormalsFromPoints3",
    "Selvane_DensityFromNormals3",
    "Selvane_Isosurf3",
    "Selvane_Simplify3",
    "Selvane_CropPointList2",
    "Selvane_CropPointList3",
    "Selvane_CropMesh3",
    "Selvane_CropScan3",
    "Selvane_CropScanRange3",
    "Selvane_RemoveOutliers3",
    "Selvane_RemoveNonMeshPoints3",
    "Selvane_TrimPointList2",
    "Selvane_TrimPointList3",
    "Selvane_TrimMesh3",
    "Selvane_TrimScan3",
    "Selvane_DistanceToPoints2",
    "Selvane_DistanceToPoints3",
    "Selvane_SavePointList2",
    "Selvane_LoadPointList2",
    "Selvane_SaveGrid2",
    "Selvane_LoadGrid2",
    "Selvane_SaveSolution2",
    "Selvane_LoadSolution2",
    "Selvane_SavePointList3",
    "Selvane_LoadPointList3",
    "Selvane_SaveGrid3",
    "Selvane_LoadGrid3",
    "Selvane_SaveSolution3",
    "Selvane_LoadSolution3",
    "Selvane_SaveScan3",
    "Selvane_LoadScan3",
    "Selvane_SaveMesh3",
    "Selvane_LoadMesh3",
    "Selvane_LoadPointListAny",
    "Selvane_LoadGridAny",
    "Selvane_LoadSolutionAny",
    "Selvane_LoadAll",
    "Selvane_Ptx_LoadAndCompress",
    "Selvane_Pto_Load",
    "Selvane_Obj_Load",
    "Selvane_Obj_Save",
    "Selvane_Txt_Load",
    "Selvane_Txt_Save",
    "Selvane_Stl_Load",
    "Selvane_Stl_Save",
    "Selvane_Dxf_Save",
    "Selvane_Vrml_Save",
    "Selvane_Png_Save",
    "Selvane_Iges_Save",
    "User Function",
};

constexpr int32_t kProgressTextCount = static_cast<int32_t>(sizeof(kProgressTexts) / sizeof(kProgressTexts[0]));

}  // namespace

const char* Reporter_OperationText(int32_t operation) {
    if (operation < 0 || operation >= kProgressTextCount) return kProgressTexts[0];
    return kProgressTexts[operation];
}

const char* Reporter_OperationName(int32_t index) {
    if (index < 0 || index >= kOperationNameCount) return nullptr;
    return kOperationNames[index];
}
