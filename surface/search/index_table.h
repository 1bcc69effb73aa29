// A bounded most-recently-used list over the slots 0..n-1. At most
// `Capacity` slots are linked at once; linking one more into a full list
// first evicts the slot at the back, and every slot that leaves the list is
// handed to the eviction callback.
#ifndef SURFACE_SEARCH_INDEX_TABLE_H
#define SURFACE_SEARCH_INDEX_TABLE_H

#include <cstdint>

struct IndexEntry {
    int32_t Next;      // towards the back; -1 for none
    int32_t Previous;  // towards the front; -1 for none
    int32_t Slot;
};

typedef void (*IndexEvictFn)(void* user, int32_t slot);

struct IndexTable {
    int32_t Count;        // slots n
    int32_t Capacity;     // the most slots linked at once
    int32_t Linked;       // slots linked now
    IndexEntry* Entries;  // one per slot
    int32_t Front;        // -1 when empty
    int32_t Back;         // -1 when empty
    IndexEvictFn Evict;   // or null
    void* User;
};

// All slots unlinked; a negative capacity means n. Returns 0, or 2 when
// memory runs out.
int IndexTable_Init(int32_t n, int32_t capacity, IndexEvictFn evict, void* user, IndexTable* table);
void IndexTable_Free(IndexTable* table);

// 1 when the slot is linked (0 for a slot out of range).
int IndexList_Contains(const IndexTable* table, int32_t slot);
// Unlinks the slot and hands it to the eviction callback. Returns 0, or 1
// when the slot is out of range or not linked.
int IndexList_Unlink(IndexTable* table, int32_t slot);
// Links an unlinked slot at the front (back), evicting the back slot first
// when the list is full; with capacity 0 nothing happens. Returns 0, or 1
// when the slot is out of range or already linked.
int IndexList_PushFront(IndexTable* table, int32_t slot);
int IndexList_PushBack(IndexTable* table, int32_t slot);
// Links `slot` just before the linked `before`, evicting the back first when
// full. Returns 0, or 1 unless `before` is linked and `slot` is not.
int IndexList_InsertBefore(IndexTable* table, int32_t before, int32_t slot);
// Moves a linked slot to the front. Returns 0, or 1 when it is not linked.
int IndexList_MoveToFront(IndexTable* table, int32_t slot);
// Moves a linked slot to the front, else pushes it there.
void IndexList_Touch(IndexTable* table, int32_t slot);
// Takes a slot out of the list: selector 0 or above that slot (it must be
// linked), -1 the front, -2 the back; unlinked as by IndexList_Unlink.
// Returns 0, or 1 (with *slot -1) when there is none.
int IndexList_Pop(IndexTable* table, int32_t selector, int32_t* slot);
// Touches the slots capacity - 1 down to 0, so that slots 0..capacity - 1
// are linked with slot 0 at the front.
void IndexList_Fill(IndexTable* table);

#endif
