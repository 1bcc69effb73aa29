#include "app/scanfile/facet_coder.h"

#include "app/scanfile/scan_file_memory.h"

#include <cstring>
#include <new>
#include <tuple>

namespace {

// Bits are packed into bytes from the most significant bit on; a value of n
// bits goes most significant bit first.
class BitWriter {
  public:
    void Write(uint32_t value, int n) {
        const uint64_t mask = n == 32 ? 0xFFFFFFFFull : ((1ull << n) - 1);
        acc_ = (acc_ << n) | (value & mask);
        held_ += n;
        while (held_ >= 8) {
            held_ -= 8;
            bytes_.push_back(static_cast<uint8_t>(acc_ >> held_));
        }
        acc_ &= (1ull << held_) - 1;
    }
    // Whole bytes only; a part byte left over is dropped.
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    uint64_t acc_ = 0;
    int held_ = 0;
};

class BitReader {
  public:
    BitReader(const uint8_t* bytes, int32_t count) : at_(bytes), end_(bytes + (count > 0 ? count : 0)) {}
    // False when fewer than n (at most 32) bits are left.
    bool Read(int n, uint32_t& value) {
        if (held_ < n) {
            while (held_ <= 56 && at_ < end_) {
                window_ = (window_ << 8) | *at_++;
                held_ += 8;
            }
            if (held_ < n) return false;
        }
        held_ -= n;
        value = static_cast<uint32_t>((window_ >> held_) & (n == 32 ? 0xFFFFFFFFull : ((1ull << n) - 1)));
        return true;
    }

  private:
    const uint8_t* at_;
    const uint8_t* end_;
    uint64_t window_ = 0;
    int held_ = 0;
};

bool HasCorner(const Facet& f, int32_t v) { return f.v[0] == v || f.v[1] == v || f.v[2] == v; }

// The facet holds p and q so that it continues a strip of orientation o.
bool Continues(const Facet& f, int32_t p, int32_t q, int32_t o) {
    for (int k = 0; k < 3; ++k)
        if (f.v[k] == p && f.v[(k + (o ? 2 : 1)) % 3] == q) return true;
    return false;
}

int32_t ThirdVertex(const Facet& f, int32_t p, int32_t q) { return f.v[0] ^ f.v[1] ^ f.v[2] ^ p ^ q; }

void WriteStrip(BitWriter& out, const std::vector<int32_t>& strip) {
    const auto length = static_cast<uint32_t>(strip.size());
    if (length < 256) {
        out.Write(length, 8);
    } else {
        out.Write(0, 8);
        out.Write(length, 32);
    }
    uint32_t p = 0, q = 0;
    for (const int32_t vertex : strip) {
        const auto v = static_cast<uint32_t>(vertex);
        if (v == p + 1) {
            out.Write(0, 1);
        } else if (v == q + 1) {
            out.Write(2, 2);
        } else if (v == p) {
            out.Write(6, 3);
        } else {
            out.Write(7, 3);
            out.Write(v, 32);
        }
        p = q;
        q = v;
    }
}

// The corner of facet `start` that the next two facets share least; the
// lowest on a tie.
int LeastSharedCorner(const Facet* facets, int32_t count, int32_t start) {
    int best = 0, bestCount = 3;
    for (int k = 0; k < 3; ++k) {
        int shared = 0;
        for (int32_t j = start + 1; j <= start + 2 && j < count; ++j)
            shared += HasCorner(facets[j], facets[start].v[k]);
        if (shared < bestCount) {
            best = k;
            bestCount = shared;
        }
    }
    return best;
}

}  // namespace

bool StripKey::operator<(const StripKey& other) const {
    return std::tie(facet, p, q, orientation) < std::tie(other.facet, other.p, other.q, other.orientation);
}

void StripMemo::Clear(int32_t base) {
    for (int32_t k = 0; k < used_; ++k) slots_[k].count = 0;
    used_ = 0;
    base_ = base;
    overflow_.clear();
}

bool StripMemo::Find(const StripKey& key, int32_t& length) const {
    const int64_t k = int64_t(key.facet) - base_;
    if (k >= 0 && k < used_) {
        const Slot& slot = slots_[k];
        for (int32_t e = 0; e < slot.count; ++e) {
            const Entry& entry = slot.entries[e];
            if (entry.p == key.p && entry.q == key.q && entry.orientation == key.orientation) {
                length = entry.length;
                return true;
            }
        }
        if (slot.count < 4) return false;
    }
    const auto hit = overflow_.find(key);
    if (hit == overflow_.end()) return false;
    length = hit->second;
    return true;
}

void StripMemo::Put(const StripKey& key, int32_t length) {
    const int64_t k = int64_t(key.facet) - base_;
    if (k < 0 || k >= INT32_MAX) {
        overflow_.emplace(key, length);
        return;
    }
    if (k >= static_cast<int64_t>(slots_.size())) slots_.resize(static_cast<std::size_t>(k) * 2 + 16, Slot{0, {}});
    while (used_ <= k) slots_[used_++].count = 0;
    Slot& slot = slots_[k];
    if (slot.count < 4)
        slot.entries[slot.count++] = Entry{key.p, key.q, key.orientation, length};
    else
        overflow_.emplace(key, length);
}

int32_t FacetCoder_StripLength(StripBuilder& b, int32_t i, int32_t p, int32_t q, int32_t o) {
    // len(i, p, q, o) = 1 + max(len(i + 1, q, c, !o), len(i + 1, p, c, o)) for
    // a facet i that continues the strip, run on an explicit stack: each frame
    // asks for its first branch, then its second, then stores its value.
    int32_t result = 0;
    b.stack.clear();
    b.stack.push_back({StripKey{i, p, q, o}, 0, 0, 0});
    while (!b.stack.empty()) {
        const std::size_t top = b.stack.size() - 1;
        StripBuilder::Frame frame = b.stack[top];
        const StripKey& key = frame.key;
        if (frame.stage == 0) {
            if (b.memo.Find(key, result)) {
                b.stack.pop_back();
                continue;
            }
            if (key.facet >= b.count || !Continues(b.facets[key.facet], key.p, key.q, key.orientation)) {
                result = 0;
                b.stack.pop_back();
                continue;
            }
            b.stack[top].third = ThirdVertex(b.facets[key.facet], key.p, key.q);
            b.stack[top].stage = 1;
            b.stack.push_back({StripKey{key.facet + 1, key.q, b.stack[top].third, !key.orientation}, 0, 0, 0});
        } else if (frame.stage == 1) {
            b.stack[top].first = result;
            b.stack[top].stage = 2;
            b.stack.push_back({StripKey{key.facet + 1, key.p, frame.third, key.orientation}, 0, 0, 0});
        } else {
            result = 1 + (frame.first > result ? frame.first : result);
            b.memo.Put(key, result);
            b.stack.pop_back();
        }
    }
    return result;
}

int32_t FacetCoder_ExtendStrip(StripBuilder& b, int32_t next, int32_t p, int32_t q, int32_t o,
                               std::vector<int32_t>& strip) {
    b.memo.Clear(next);
    while (next < b.count && FacetCoder_StripLength(b, next, p, q, o) != 0) {
        const int32_t c = ThirdVertex(b.facets[next], p, q);
        if (FacetCoder_StripLength(b, next + 1, p, c, o) > FacetCoder_StripLength(b, next + 1, q, c, !o)) {
            // A swap: the repeated vertex makes a facet with two equal
            // corners, which decodes to nothing but turns the strip.
            strip.push_back(p);
            const int32_t t = p;
            p = q;
            q = t;
            o = !o;
        }
        strip.push_back(c);
        p = q;
        q = c;
        o = !o;
        ++next;
    }
    return next;
}

int FacetCoder_CompressFacets(const Facet* facets, int32_t count, uint8_t** bytesOut, int32_t* byteCountOut) {
    *bytesOut = nullptr;
    *byteCountOut = 0;
    try {
        BitWriter out;
        StripBuilder builder;
        builder.facets = facets;
        builder.count = count;
        std::vector<int32_t> strip;
        int32_t start = 0;
        while (start < count) {
            strip.clear();
            const Facet& f = facets[start];
            const int m = LeastSharedCorner(facets, count, start);
            for (int k = 0; k < 3; ++k) strip.push_back(f.v[(m + k) % 3]);
            start = FacetCoder_ExtendStrip(builder, start + 1, f.v[(m + 1) % 3], f.v[(m + 2) % 3], 1, strip);
            WriteStrip(out, strip);
        }
        out.Write(0, 8);
        out.Write(0, 32);
        out.Write(0, 8);
        const std::vector<uint8_t>& bytes = out.Bytes();
        auto* copy = static_cast<uint8_t*>(ScanFile_Malloc(bytes.size()));
        if (!copy) return 0;
        std::memcpy(copy, bytes.data(), bytes.size());
        *bytesOut = copy;
        *byteCountOut = static_cast<int32_t>(bytes.size());
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int FacetCoder_Compress(const RawData& scan, uint8_t** bytesOut, int32_t* byteCountOut) {
    const int32_t count = scan.SweepFirstFacet && scan.NumSweeps >= 0 ? scan.SweepFirstFacet[scan.NumSweeps] : 0;
    return FacetCoder_CompressFacets(scan.Facets, count, bytesOut, byteCountOut);
}

int FacetCoder_Decompress(const uint8_t* bytes, int32_t byteCount, FacetGrowFunction grow, void* user, Facet** facets,
                          int32_t* count, int32_t* capacity) {
    BitReader in(bytes, byteCount);
    *count = 0;
    for (;;) {
        uint32_t length;
        if (!in.Read(8, length)) return 0;
        if (length == 0) {
            if (!in.Read(32, length)) return 0;
            if (length == 0) return 1;
        }
        uint32_t p = 0, q = 0;
        int32_t orientation = 0;
        for (uint32_t k = 0; k < length; ++k) {
            uint32_t bit, v;
            if (!in.Read(1, bit)) return 0;
            if (bit == 0) {
                v = p + 1;
            } else {
                if (!in.Read(1, bit)) return 0;
                if (bit == 0) {
                    v = q + 1;
                } else {
                    if (!in.Read(1, bit)) return 0;
                    if (bit == 0) {
                        v = p;
                    } else if (!in.Read(32, v)) {
                        return 0;
                    }
                }
            }
            if (k >= 2) {
                if (v != p && v != q && p != q) {
                    if (*count >= *capacity) {
                        const int64_t doubled = int64_t(*capacity) * 2;
                        const int64_t stepped = int64_t(*capacity) + 65536;
                        int64_t wanted = doubled < stepped ? doubled : stepped;
                        if (wanted < 1024) wanted = 1024;
                        if (wanted > INT32_MAX / int32_t(sizeof(Facet))) return 0;
                        Facet* grown = grow(*facets, static_cast<int32_t>(wanted), user);
                        if (!grown) return 0;
                        *facets = grown;
                        *capacity = static_cast<int32_t>(wanted);
                    }
                    Facet& f = (*facets)[(*count)++];
                    f.v[0] = static_cast<int32_t>(v);
                    f.v[1] = static_cast<int32_t>(orientation ? q : p);
                    f.v[2] = static_cast<int32_t>(orientation ? p : q);
                }
                orientation = !orientation;
            }
            p = q;
            q = v;
        }
    }
}

Facet* TVNFile_GrowFacets(Facet* old, int32_t capacity, void* user) {
    auto& scan = *static_cast<RawData*>(user);
    if (!scan.FacetBlock) return nullptr;
    try {
        return static_cast<Facet*>(BigBuffer_Alloc(*scan.FacetBlock, std::size_t(capacity) * sizeof(Facet)));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int FacetCoder_DecompressMesh(RawData& scan, const uint8_t* bytes, int32_t byteCount) {
    return FacetCoder_Decompress(bytes, byteCount, TVNFile_GrowFacets, &scan, &scan.Facets, &scan.NumFacets,
                                 &scan.MaxFacets);
}
