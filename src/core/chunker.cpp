#include "chunker.h"

#include <algorithm>
#include <cstddef>
#include <random>

namespace zt {

namespace {

struct HashTables {
    uint32_t in[256];  // T
    uint32_t out[256]; // T * 37^512, for the byte that leaves the window
};

const HashTables& Tables() {
    static const HashTables tables = [] {
        HashTables t;
        std::mt19937 generator(0);
        for (auto& v : t.in) v = uint32_t(generator());
        uint32_t power = 1;
        for (size_t i = 0; i < kChunkWindow; ++i) power *= 37;
        for (size_t i = 0; i < 256; ++i) t.out[i] = t.in[i] * power;
        return t;
    }();
    return tables;
}

// W(i - 1): the window of the 512 bytes before position i.
inline uint32_t Prime(const uint8_t* p, size_t i, const uint32_t* in) {
    uint32_t h = 0;
    for (size_t j = i - kChunkWindow; j < i; ++j) h = h * 37 + in[p[j]];
    return h;
}

inline bool Matches(uint32_t h) { return (h & kChunkMask) == kChunkPattern; }

// One lane from position `from` to `to`, continuing from the window hash `h` of from - 1.
void ScanLane(const uint8_t* p, size_t from, size_t to, uint32_t h, std::vector<size_t>& out) {
    const HashTables& t = Tables();
    for (size_t i = from; i < to; ++i) {
        h = h * 37 + (t.in[p[i]] - t.out[p[i - kChunkWindow]]);
        if (Matches(h)) out.push_back(i);
    }
}

} // namespace

const uint32_t* ChunkHashTable() { return Tables().in; }

namespace {

// Zero exactly when the hash shows the cut pattern; below 2^14 otherwise.
inline uint32_t Miss(uint32_t h) { return (h - kChunkPattern) & kChunkMask; }

// h * 37 as one multiplication (the compiler would make two additions of it,
// which cost more where the instructions, not their latency, are the limit).
inline uint32_t Times37(uint32_t h) {
#if defined(__x86_64__)
    asm("imul $37, %0, %0" : "+r"(h));
    return h;
#else
    return h * 37;
#endif
}

// The four stretches scanned side by side. Kept in memory, away from the
// registers of the loop, as only a found cut needs it.
struct Lanes {
    const uint8_t* base;
    size_t seg;
    std::vector<size_t> found[4];
};

__attribute__((noinline)) void Record(Lanes& lanes, const uint8_t* at, uint32_t h0, uint32_t h1, uint32_t h2,
                                      uint32_t h3) {
    const uint32_t h[4] = {h0, h1, h2, h3};
    for (size_t l = 0; l < 4; ++l)
        if (Miss(h[l]) == 0) lanes.found[l].push_back(size_t(at - lanes.base) + l * lanes.seg);
}

} // namespace

void FindCutCandidates(const uint8_t* p, size_t from, size_t to, std::vector<size_t>& out) {
    if (from >= to) return;
    const HashTables& t = Tables();
    const size_t n = to - from;
    if (n < 4 * 8 * kChunkWindow) {
        ScanLane(p, from, to, Prime(p, from, t.in), out);
        return;
    }
    // The hash is a chain of dependent multiplications; four independent
    // stretches scanned side by side keep the processor busy.
    Lanes lanes;
    lanes.base = p;
    lanes.seg = n / 4;
    const size_t seg = lanes.seg;
    const uint8_t* p0 = p + from;
    const uint8_t* p1 = p0 + seg;
    const uint8_t* p2 = p1 + seg;
    const uint8_t* p3 = p2 + seg;
    uint32_t h0 = Prime(p, from, t.in), h1 = Prime(p, from + seg, t.in), h2 = Prime(p, from + 2 * seg, t.in),
             h3 = Prime(p, from + 3 * seg, t.in);
    // T and T * 37^512 lie back to back, so one base register reaches both.
    static_assert(offsetof(HashTables, out) == sizeof(uint32_t) * 256);
    const uint32_t* tab = t.in;
    constexpr ptrdiff_t w = ptrdiff_t(kChunkWindow);
    const uint8_t* const end0 = p1;
    for (;;) {
        // No call inside the loop: all of its values stay in registers.
        bool hit = false;
        for (; p0 != end0; ++p0, ++p1, ++p2, ++p3) {
            h0 = Times37(h0) + (tab[*p0] - tab[256 + p0[-w]]);
            h1 = Times37(h1) + (tab[*p1] - tab[256 + p1[-w]]);
            h2 = Times37(h2) + (tab[*p2] - tab[256 + p2[-w]]);
            h3 = Times37(h3) + (tab[*p3] - tab[256 + p3[-w]]);
            // Each miss is below 2^14, so their product fits in 64 bits and
            // is zero exactly when one of them is.
            if ((uint64_t(Miss(h0)) * Miss(h1)) * (uint64_t(Miss(h2)) * Miss(h3)) == 0) [[unlikely]] {
                hit = true;
                break;
            }
        }
        if (!hit) break;
        Record(lanes, p0, h0, h1, h2, h3);
        ++p0, ++p1, ++p2, ++p3;
    }
    // The last lane also takes what is left over.
    ScanLane(p, from + 4 * seg, to, h3, lanes.found[3]);
    for (const auto& f : lanes.found) out.insert(out.end(), f.begin(), f.end());
}

// ------------------------------------------------------------------ chunker

namespace {
constexpr size_t kBatch = 256 * 1024; // input scanned at once
} // namespace

CZTChunker::CZTChunker(Sink sink) : sink_(std::move(sink)) { buf_.reserve(kChunkMaxSize + 2 * kBatch); }

void CZTChunker::Reset() {
    buf_.clear();
    base_ = scanned_ = candAt_ = 0;
    cand_.clear();
    total_ = 0;
}

void CZTChunker::Feed(std::string_view data) {
    total_ += data.size();
    while (!data.empty()) {
        const size_t n = std::min(data.size(), kBatch);
        buf_.append(data.data(), n);
        data.remove_prefix(n);
        if (buf_.size() - scanned_ >= kBatch) Process(false);
    }
}

void CZTChunker::Finish() {
    Process(true);
    Reset();
}

void CZTChunker::Process(bool final) {
    const auto* p = reinterpret_cast<const uint8_t*>(buf_.data());
    const size_t end = buf_.size();
    // Positions closer than kChunkMinCut to the chunk start can never be cut
    // positions, here or later (the start only moves forward).
    const size_t from = std::max(scanned_, base_ + kChunkMinCut);
    if (from < end) FindCutCandidates(p, from, end, cand_);
    scanned_ = std::max(scanned_, end);

    for (;;) {
        const size_t minCut = base_ + kChunkMinCut;
        size_t cut = base_ + kChunkMaxSize;
        while (candAt_ < cand_.size() && cand_[candAt_] < minCut) ++candAt_;
        if (candAt_ < cand_.size() && cand_[candAt_] < cut) cut = cand_[candAt_];
        if (cut >= end) break; // the byte that starts the next chunk is not there yet
        sink_(std::string_view(buf_.data() + base_, cut - base_));
        base_ = cut;
    }
    if (final) {
        if (base_ < end) sink_(std::string_view(buf_.data() + base_, end - base_));
        base_ = end;
        return;
    }
    // Keep only the unfinished chunk.
    if (base_ > 0) {
        buf_.erase(0, base_);
        scanned_ -= base_;
        cand_.erase(cand_.begin(), cand_.begin() + ptrdiff_t(candAt_));
        for (auto& c : cand_) c -= base_;
        candAt_ = 0;
        base_ = 0;
    }
}

} // namespace zt
