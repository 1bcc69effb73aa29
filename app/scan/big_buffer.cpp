#include "app/scan/big_buffer.h"

#include "app/base/app_messages.h"
#include "platform/os_seam.h"

#include <cstdint>

namespace {

std::size_t CachedPageSize() {
    static const std::size_t pageSize = os::PageSize();
    return pageSize;
}

void WarnVirtualAlloc() { App_WarningBoxOfKey("ErrorVirtualAlloc", "StandardDialogWarningTitle"); }

char* At(const BigBuffer& block, std::size_t offset) { return static_cast<char*>(block.Base) + offset; }

}  // namespace

void* BigBuffer_Alloc(BigBuffer& block, std::size_t size) {
    const std::size_t page = CachedPageSize();
    if (size > block.ReservedSize) throw OutOfMemoryError();
    const std::size_t wanted = (size + page - 1) / page * page;
    if (wanted > block.ReservedSize) throw OutOfMemoryError();
    if (!block.Base) {
        block.Base = os::ReserveMemory(block.ReservedSize);
        if (!block.Base) throw OutOfMemoryError();
        block.CommittedSize = 0;
    }
    if (wanted < block.CommittedSize) {
        if (!os::DecommitMemory(At(block, wanted), block.CommittedSize - wanted)) WarnVirtualAlloc();
        block.CommittedSize = wanted;
    } else if (wanted > block.CommittedSize) {
        if (!os::CommitMemory(At(block, block.CommittedSize), wanted - block.CommittedSize)) throw OutOfMemoryError();
        block.CommittedSize = wanted;
    }
    return block.Base;
}

void BigBuffer_Decommit(BigBuffer& block) {
    if (!block.Base || block.CommittedSize == 0) return;
    if (!os::DecommitMemory(block.Base, block.CommittedSize)) WarnVirtualAlloc();
    block.CommittedSize = 0;
}

void BigBuffer_Free(BigBuffer& block) {
    if (block.Base) {
        if (block.CommittedSize && !os::DecommitMemory(block.Base, block.CommittedSize)) WarnVirtualAlloc();
        os::ReleaseMemory(block.Base, block.ReservedSize);
    }
    block.Base = nullptr;
    block.CommittedSize = 0;
}
