#include "chunker.h"

#include <algorithm>
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

void FindCutCandidates(const uint8_t* p, size_t from, size_t to, std::vector<size_t>& out) {
    if (from >= to) return;
    const HashTables& t = Tables();
    constexpr size_t kLanes = 4;
    const size_t n = to - from;
    if (n < kLanes * 8 * kChunkWindow) {
        ScanLane(p, from, to, Prime(p, from, t.in), out);
        return;
    }
    // The hash is a chain of dependent multiplications; four independent
    // stretches scanned side by side keep the processor busy.
    const size_t seg = n / kLanes;
    const uint8_t* a[kLanes];
    uint32_t h[kLanes];
    std::vector<size_t> found[kLanes];
    for (size_t l = 0; l < kLanes; ++l) {
        a[l] = p + from + l * seg;
        h[l] = Prime(p, from + l * seg, t.in);
    }
    for (size_t k = 0; k < seg; ++k) {
        h[0] = h[0] * 37 + (t.in[a[0][k]] - t.out[a[0][ptrdiff_t(k) - ptrdiff_t(kChunkWindow)]]);
        h[1] = h[1] * 37 + (t.in[a[1][k]] - t.out[a[1][ptrdiff_t(k) - ptrdiff_t(kChunkWindow)]]);
        h[2] = h[2] * 37 + (t.in[a[2][k]] - t.out[a[2][ptrdiff_t(k) - ptrdiff_t(kChunkWindow)]]);
        h[3] = h[3] * 37 + (t.in[a[3][k]] - t.out[a[3][ptrdiff_t(k) - ptrdiff_t(kChunkWindow)]]);
        if (int(Matches(h[0])) | int(Matches(h[1])) | int(Matches(h[2])) | int(Matches(h[3]))) [[unlikely]] {
            for (size_t l = 0; l < kLanes; ++l)
                if (Matches(h[l])) found[l].push_back(from + l * seg + k);
        }
    }
    // The last lane also takes what is left over.
    ScanLane(p, from + kLanes * seg, to, h[kLanes - 1], found[kLanes - 1]);
    for (const auto& f : found) out.insert(out.end(), f.begin(), f.end());
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
