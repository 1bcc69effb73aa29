// Heap sorts over index arrays, written over 1-based heap positions.
#include "surface/search/index_sort.h"

#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

inline bool Cancelled(const volatile int32_t* cancel) { return cancel && *cancel != 0; }

// Sifts the item at 1-based position `top` down a heap of `size` items.
// heap points one before the item array, so heap[1] is its first item.
template <class T, class Less>
void SiftDown(T* heap, int32_t top, int32_t size, Less less) {
    const T moving = heap[top];
    int32_t parent = top;
    for (;;) {
        int32_t child = 2 * parent;
        if (child > size) break;
        if (child < size && less(heap[child], heap[child + 1])) ++child;
        if (!less(moving, heap[child])) break;
        heap[parent] = heap[child];
        parent = child;
    }
    heap[parent] = moving;
}

// Classic heap sort of `count` items by the order `less` gives them.
template <class T, class Less>
int HeapSort(T* items, int32_t count, const volatile int32_t* cancel, Less less) {
    if (count < 2) return Cancelled(cancel) ? CoreStatus_UserAbort : 0;
    T* heap = items - 1;
    for (int32_t top = count / 2; top >= 1; --top) {
        SiftDown(heap, top, count, less);
        if (Cancelled(cancel)) return CoreStatus_UserAbort;
    }
    for (int32_t size = count; size > 1; --size) {
        const T largest = heap[1];
        heap[1] = heap[size];
        heap[size] = largest;
        SiftDown(heap, 1, size - 1, less);
        if (Cancelled(cancel)) return CoreStatus_UserAbort;
    }
    return 0;
}

template <class Key>
struct Keyed {
    Key key;
    int32_t index;
};

// Below this many items the keys are compared where they lie.
const int32_t kKeyedFrom = 256;

// Orders 0..count-1 by keyOf(i). From kKeyedFrom items on, each key is
// copied beside its index first, so that a comparison reads the heap alone
// and not the scattered keys (for the column sort, a row pointer and then
// its row); the comparisons are the same, one for one, so the order is the
// same, equal keys included. Without memory for the copies the keys are
// compared where they lie.
template <class KeyOf>
int SortIndicesByKey(int32_t* indices, int32_t count, const volatile int32_t* cancel, KeyOf keyOf) {
    using Key = decltype(keyOf(0));
    Keyed<Key>* keyed = count >= kKeyedFrom
                            ? static_cast<Keyed<Key>*>(Mem_Alloc(sizeof(Keyed<Key>) * static_cast<size_t>(count)))
                            : nullptr;
    if (!keyed) {
        for (int32_t i = 0; i < count; ++i) indices[i] = i;
        return HeapSort(indices, count, cancel, [keyOf](int32_t a, int32_t b) { return keyOf(a) < keyOf(b); });
    }
    for (int32_t i = 0; i < count; ++i) keyed[i] = {keyOf(i), i};
    const int status =
        HeapSort(keyed, count, cancel, [](const Keyed<Key>& a, const Keyed<Key>& b) { return a.key < b.key; });
    for (int32_t i = 0; i < count; ++i) indices[i] = keyed[i].index;
    Mem_Free(keyed);
    return status;
}

// Replaces the sorted indices in `sorted` by the values they select and drops
// repeats; returns the number of distinct values.
int32_t GatherDistinct(const int32_t* values, int32_t* sorted, int32_t count) {
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t v = values[sorted[i]];
        if (kept == 0 || sorted[kept - 1] != v) sorted[kept++] = v;
    }
    return kept;
}

}  // namespace

int Index_HeapSortInt(const int32_t* keys, int32_t* indices, int32_t count, const volatile int32_t* cancel) {
    return SortIndicesByKey(indices, count, cancel, [keys](int32_t i) { return keys[i]; });
}

int Index_HeapSortDouble(const double* keys, int32_t* indices, int32_t count, const volatile int32_t* cancel) {
    return SortIndicesByKey(indices, count, cancel, [keys](int32_t i) { return keys[i]; });
}

int Index_HeapSortByColumn(const double* const* rows, int32_t* indices, int32_t count, int32_t column,
                           const volatile int32_t* cancel) {
    return SortIndicesByKey(indices, count, cancel, [rows, column](int32_t i) { return rows[i][column]; });
}

int Index_SortUnique(int32_t* count, int32_t* values, int32_t* work, const volatile int32_t* cancel) {
    const int32_t n = *count;
    for (int32_t i = 0; i < n; ++i) work[i] = values[i];
    // The list itself receives the sorted indices, then the values they select.
    const int status = Index_HeapSortInt(work, values, n, cancel);
    if (status != 0) return status;
    *count = GatherDistinct(work, values, n);
    return 0;
}

int Index_SortUniqueCopy(int32_t* count, const int32_t* values, int32_t* result, const volatile int32_t* cancel) {
    const int32_t n = *count;
    const int status = Index_HeapSortInt(values, result, n, cancel);
    if (status != 0) return status;
    *count = GatherDistinct(values, result, n);
    return 0;
}

int Index_GroupEqual(int32_t count, const int32_t* keys, int32_t* distinctCount, int32_t* distinctKeys, int32_t* counts,
                     const volatile int32_t* cancel) {
    const int status = Index_HeapSortInt(keys, distinctKeys, count, cancel);
    if (status != 0) return status;
    int32_t groups = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t key = keys[distinctKeys[i]];
        if (groups > 0 && distinctKeys[groups - 1] == key) {
            ++counts[groups - 1];
        } else {
            distinctKeys[groups] = key;
            counts[groups] = 1;
            ++groups;
        }
    }
    *distinctCount = groups;
    return 0;
}

int32_t KeyList_Contains(const int32_t* keys, int32_t count, int32_t key) {
    for (int32_t i = 0; keys != nullptr && i < count; ++i)
        if (keys[i] == key) return 1;
    return 0;
}

int32_t KeyList_ContainsSorted(const int32_t* keys, int32_t count, int32_t key) {
    int32_t low = 0, high = keys != nullptr ? count : 0;  // the key, if held, is in [low, high)
    while (low < high) {
        const int32_t middle = low + (high - low) / 2;
        if (keys[middle] == key) return 1;
        if (keys[middle] < key)
            low = middle + 1;
        else
            high = middle;
    }
    return 0;
}
