// Run-length words: each word holds a value in its top N bits and how many
// times it repeats in the low 32 - N bits.
#include "app/scanfile/field_coders.h"

namespace {

uint32_t LongestRun(int n) { return (n == 32 ? 0u : 0xFFFFFFFFu >> n); }

// Gives the values of a word sequence one at a time.
class RunReader {
  public:
    RunReader(const uint32_t* words, int32_t count, int n) : words_(words), count_(count > 0 ? count : 0), n_(n) {}
    bool Next(uint32_t& value) {
        if (left_ == 0) {
            if (at_ >= count_) return false;
            const uint32_t word = words_[at_++];
            value_ = word >> (32 - n_);
            left_ = word & LongestRun(n_);
            if (left_ == 0) return false;  // a run of no values
        }
        --left_;
        value = value_;
        return true;
    }
    // Every word taken and the last run used up.
    bool Finished() const { return left_ == 0 && at_ == count_; }

  private:
    const uint32_t* words_;
    int32_t count_;
    int n_;
    int32_t at_ = 0;
    uint32_t value_ = 0;
    uint32_t left_ = 0;
};

bool AddWords(ItemStore* store, const char* path, const uint32_t* words, int32_t count) {
    return ItemStore_AddItem(store, path, words, ItemType::UInt32, 1, count);
}

uint32_t* TakeWords(SaveBuffers& buffers, int64_t count) {
    return static_cast<uint32_t*>(buffers.Take(static_cast<std::size_t>(count > 0 ? count : 1) * 4));
}

// Where one per-point editing layer is stored: its run words, its level, and
// how many bits of each word hold the value.
struct EditingLayer {
    const char* wordsPath;
    const char* levelPath;
    int bits;
};

// Packs one value per point in force into run words and stores them with the
// layer's level, which is worked out from the packed words.
bool PackEditingLayer(ItemStore* store, const RawData& scan, SaveBuffers& buffers, const EditingLayer& layer,
                      const std::function<uint32_t(int32_t)>& value,
                      const std::function<int32_t(const uint32_t*, int32_t)>& levelOf) {
    const int32_t points = ScanFile_PointsInForce(scan);
    uint32_t* words = TakeWords(buffers, points);
    auto* level = static_cast<int32_t*>(buffers.Take(4));
    if (!words || !level) return false;
    const int32_t count = TVNFile_PackRuns(value, points, layer.bits, words);
    *level = levelOf(words, count);
    return AddWords(store, layer.wordsPath, words, count) &&
           ItemStore_AddItem(store, layer.levelPath, level, ItemType::Int32, 0);
}

}  // namespace

int32_t TVNFile_PackRuns(const std::function<uint32_t(int32_t)>& value, int32_t count, int n, uint32_t* words) {
    const uint32_t longest = LongestRun(n);
    int32_t written = 0;
    uint32_t current = 0, run = 0;
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t v = value(i);
        if (run > 0 && (v != current || run == longest)) {
            words[written++] = (current << (32 - n)) | run;
            run = 0;
        }
        current = v;
        ++run;
    }
    if (run > 0) words[written++] = (current << (32 - n)) | run;
    return written;
}

bool TVNFile_DecodeRunLengths(const uint32_t* words, int32_t wordCount, uint32_t* values, int32_t valueCount, int n) {
    RunReader in(words, wordCount, n);
    for (int32_t i = 0; i < valueCount; ++i)
        if (!in.Next(values[i])) return false;
    return in.Finished();
}

bool TVNFile_PackRunLengthsV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers) {
    const int32_t profiles = ScanFile_ProfilesInForce(scan);
    uint32_t* words = TakeWords(buffers, profiles);
    if (!words) return false;
    const int32_t count = TVNFile_PackRuns([&](int32_t p) { return scan.Profiles[p].ReferenceEnabled != 0 ? 1u : 0u; },
                                           profiles, 1, words);
    return AddWords(store, "Raw/CompressedReferenceEnabledV1", words, count);
}

bool TVNFile_PackRxStatusV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers) {
    const int32_t profiles = ScanFile_ProfilesInForce(scan);
    uint32_t* words = TakeWords(buffers, 2 * int64_t(profiles));
    if (!words) return false;
    // The second bytes start their runs afresh: no word spans the halves.
    int32_t count = 0;
    for (int byte = 0; byte < 2; ++byte)
        count += TVNFile_PackRuns(
            [&](int32_t p) { return (static_cast<uint32_t>(scan.Profiles[p].ReceiverStatus) >> (8 * byte)) & 0xFFu; },
            profiles, 8, words + count);
    return AddWords(store, "Raw/CompressedRxStatusV1", words, count);
}

bool TVNFile_PackSelectV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers) {
    return PackEditingLayer(
        store, scan, buffers, {"Raw/Editing/CompressedSelectV1", "Raw/Editing/SelectLevel", 8},
        [&](int32_t i) {
            const uint32_t select = scan.Points[i].Flags & kPointSelectionMask;
            return (select != 0 && select <= scan.SelectionLimit) ? 1u : 0u;
        },
        [](const uint32_t* words, int32_t count) { return (count == 1 && (words[0] >> 24) == 0) ? 0 : 1; });
}

bool TVNFile_PackCropV1(ItemStore* store, const RawData& scan, SaveBuffers& buffers) {
    return PackEditingLayer(
        store, scan, buffers, {"Raw/Editing/CompressedCropV1", "Raw/Editing/CropLevel", 16},
        [&](int32_t i) {
            const uint32_t crop = (scan.Points[i].Flags & kPointEraseMask) >> kPointEraseShift;
            return crop <= scan.EditLimit ? crop : 0u;
        },
        [&](const uint32_t*, int32_t) { return static_cast<int32_t>(scan.EditLimit); });
}

bool TVNFile_DecodeReferenceEnabled(RawData& scan, const uint32_t* words, int32_t wordCount) {
    RunReader in(words, wordCount, 1);
    for (int32_t p = 0; p < scan.NumProfiles; ++p) {
        uint32_t value;
        if (!in.Next(value)) return false;
        Profile& profile = scan.Profiles[p];
        profile.ReferenceEnabled = static_cast<int32_t>(value);
        if (value == 1)
            profile.ReferenceRxMatrix = profile.RawReferenceRxMatrix;
        else
            M4_Identity(profile.ReferenceRxMatrix);
    }
    return in.Finished();
}

bool TVNFile_DecodeRxStatus(RawData& scan, const uint32_t* words, int32_t wordCount) {
    // One run sequence over both halves: a run may go on across them.
    RunReader in(words, wordCount, 8);
    for (int byte = 0; byte < 2; ++byte) {
        for (int32_t p = 0; p < scan.NumProfiles; ++p) {
            uint32_t value;
            if (!in.Next(value)) return false;
            auto status = static_cast<uint32_t>(scan.Profiles[p].ReceiverStatus);
            status = (status & ~(0xFFu << (8 * byte))) | (value << (8 * byte));
            scan.Profiles[p].ReceiverStatus = static_cast<int32_t>(status);
        }
    }
    return in.Finished();
}
