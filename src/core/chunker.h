// Content-defined chunking of revision bodies: a body is cut where a rolling
// hash over the last 512 bytes shows a fixed pattern, so that an unchanged
// stretch of a document gives the same chunks on every save, wherever it
// moved to.
//
// The hash of the window ending at byte i is
//     W(i) = sum over j = 0..511 of T[b(i - j)] * 37^j   (mod 2^32)
// with T the first 256 outputs of MT19937 seeded with 0 (bytes before the body
// count as absent). Byte i starts a new chunk when the current chunk already
// holds more than 65532 bytes, or when (W(i) & 0x3FFF) == 0x222 and the
// current chunk already holds more than 4095 bytes. The rest of the body is the
// last chunk.
//
// Because a cut needs 4096 bytes in the chunk, the window of every position
// tested lies inside the current chunk: the cuts that follow a chunk start
// depend only on the bytes from there on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

constexpr size_t kChunkWindow = 512;
constexpr size_t kChunkMinCut = 4096;   // a cut needs more than 4095 bytes in the chunk
constexpr size_t kChunkMaxSize = 65533; // a chunk of more than 65532 bytes is cut
constexpr uint32_t kChunkMask = 0x3FFF;
constexpr uint32_t kChunkPattern = 0x222;

// The 256 values of T.
const uint32_t* ChunkHashTable();

// Appends to `out`, in ascending order, every position i in [from, to) of
// `data` whose window hash shows the cut pattern. Needs from >= 512 (the
// window of `from` and the byte that leaves it lie in `data`).
void FindCutCandidates(const uint8_t* data, size_t from, size_t to, std::vector<size_t>& out);

class CZTChunker {
public:
    // Receives every finished chunk in body order; the bytes are valid during
    // the call only.
    using Sink = std::function<void(std::string_view chunk)>;

    explicit CZTChunker(Sink sink);

    // Adds body bytes. Chunks are handed to the sink as they are found; the
    // chunker holds at most one unfinished chunk and one batch of input.
    void Feed(std::string_view data);
    // Ends the body: the rest becomes the last chunk. The chunker is then
    // ready for a new body.
    void Finish();
    // Forgets everything fed since the last Finish.
    void Reset();
    // Bytes fed since the last Finish or Reset.
    uint64_t BodySize() const { return total_; }

private:
    void Process(bool final);

    Sink sink_;
    std::string buf_;        // the unfinished chunk followed by unscanned input
    size_t base_ = 0;        // start of the unfinished chunk in buf_
    size_t scanned_ = 0;     // positions below this are scanned; their candidates are in cand_
    std::vector<size_t> cand_;
    size_t candAt_ = 0;      // first candidate not yet passed
    uint64_t total_ = 0;
};

} // namespace zt
