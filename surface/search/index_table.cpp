// The bounded most-recently-used list: a doubly linked list threaded through
// one entry per slot.
#include "surface/search/index_table.h"

#include "surface/frame/status_codes.h"

#include <cstring>

#include "surface/frame/tracked_memory.h"

namespace {

bool InRange(const IndexTable* table, int32_t slot) { return slot >= 0 && slot < table->Count; }

bool IsLinked(const IndexTable* table, int32_t slot) {
    const IndexEntry& e = table->Entries[slot];
    return table->Front == slot || e.Next >= 0 || e.Previous >= 0;
}

// Links an unlinked slot between `previous` and `next` (-1 for the ends).
void LinkBetween(IndexTable* table, int32_t slot, int32_t previous, int32_t next) {
    IndexEntry& e = table->Entries[slot];
    e.Previous = previous;
    e.Next = next;
    if (previous >= 0)
        table->Entries[previous].Next = slot;
    else
        table->Front = slot;
    if (next >= 0)
        table->Entries[next].Previous = slot;
    else
        table->Back = slot;
    ++table->Linked;
}

void Detach(IndexTable* table, int32_t slot) {
    IndexEntry& e = table->Entries[slot];
    if (e.Previous >= 0)
        table->Entries[e.Previous].Next = e.Next;
    else
        table->Front = e.Next;
    if (e.Next >= 0)
        table->Entries[e.Next].Previous = e.Previous;
    else
        table->Back = e.Previous;
    e.Previous = -1;
    e.Next = -1;
    --table->Linked;
}

void EvictBackWhenFull(IndexTable* table) {
    if (table->Linked >= table->Capacity && table->Back >= 0) IndexList_Unlink(table, table->Back);
}

}  // namespace

int IndexTable_Init(int32_t n, int32_t capacity, IndexEvictFn evict, void* user, IndexTable* table) {
    std::memset(table, 0, sizeof *table);
    if (n < 0) n = 0;
    table->Entries = static_cast<IndexEntry*>(Mem_Alloc(sizeof(IndexEntry) * static_cast<size_t>(n > 0 ? n : 1)));
    if (table->Entries == nullptr) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < n; ++i) table->Entries[i] = IndexEntry{-1, -1, i};
    table->Count = n;
    table->Capacity = capacity < 0 ? n : capacity;
    table->Front = -1;
    table->Back = -1;
    table->Evict = evict;
    table->User = user;
    return 0;
}

void IndexTable_Free(IndexTable* table) {
    if (table == nullptr) return;
    Mem_Free(table->Entries);
    std::memset(table, 0, sizeof *table);
}

int IndexList_Contains(const IndexTable* table, int32_t slot) {
    return InRange(table, slot) && IsLinked(table, slot) ? 1 : 0;
}

int IndexList_Unlink(IndexTable* table, int32_t slot) {
    if (!IndexList_Contains(table, slot)) return 1;
    Detach(table, slot);
    if (table->Evict) table->Evict(table->User, slot);
    return 0;
}

int IndexList_PushFront(IndexTable* table, int32_t slot) {
    if (!InRange(table, slot) || IsLinked(table, slot)) return 1;
    if (table->Capacity <= 0) return 0;
    EvictBackWhenFull(table);
    LinkBetween(table, slot, -1, table->Front);
    return 0;
}

int IndexList_PushBack(IndexTable* table, int32_t slot) {
    if (!InRange(table, slot) || IsLinked(table, slot)) return 1;
    if (table->Capacity <= 0) return 0;
    EvictBackWhenFull(table);
    LinkBetween(table, slot, table->Back, -1);
    return 0;
}

int IndexList_InsertBefore(IndexTable* table, int32_t before, int32_t slot) {
    if (!IndexList_Contains(table, before) || !InRange(table, slot) || IsLinked(table, slot)) return 1;
    EvictBackWhenFull(table);
    // When `before` was the back and has just been evicted, the new slot takes
    // its place at the back.
    if (!IsLinked(table, before)) {
        LinkBetween(table, slot, table->Back, -1);
        return 0;
    }
    LinkBetween(table, slot, table->Entries[before].Previous, before);
    return 0;
}

int IndexList_MoveToFront(IndexTable* table, int32_t slot) {
    if (!IndexList_Contains(table, slot)) return 1;
    if (table->Front == slot) return 0;
    Detach(table, slot);
    LinkBetween(table, slot, -1, table->Front);
    return 0;
}

void IndexList_Touch(IndexTable* table, int32_t slot) {
    if (IndexList_Contains(table, slot))
        IndexList_MoveToFront(table, slot);
    else
        IndexList_PushFront(table, slot);
}

int IndexList_Pop(IndexTable* table, int32_t selector, int32_t* slot) {
    int32_t chosen = selector;
    if (selector == -1)
        chosen = table->Front;
    else if (selector == -2)
        chosen = table->Back;
    else if (selector < 0)
        chosen = -1;
    if (chosen < 0 || IndexList_Unlink(table, chosen) != 0) {
        *slot = -1;
        return 1;
    }
    *slot = chosen;
    return 0;
}

void IndexList_Fill(IndexTable* table) {
    int32_t last = table->Capacity < table->Count ? table->Capacity : table->Count;
    for (int32_t slot = last - 1; slot >= 0; --slot) IndexList_Touch(table, slot);
}
