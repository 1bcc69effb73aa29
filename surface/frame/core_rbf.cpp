#include "surface/frame/core_rbf.h"

#include <cstring>

#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

void CoreSolution_Free(CoreRbf* core) {
    if (core == nullptr) return;
    if (core->BorrowsArrays) {
        Mem_Free(core->Centres);
    } else {
        Mem_FreeMatrix(core->Centres);
        Mem_Free(core->Coeffs);
        Mem_Free(core->Indices);
    }
    std::memset(core, 0, sizeof *core);
}
