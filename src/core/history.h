// The version history of a document: every saved state (revision) as a list
// of content-defined chunks, and the store of those chunks, each kept once
// however many revisions share it. The history is read with the document,
// kept by the core until the document is closed, and written again with every
// save (see revisions.h for the file form).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/content.h"

using CZTDigest = std::array<uint8_t, 20>; // SHA-1

struct CZTDigestHash {
    size_t operator()(const CZTDigest& d) const noexcept {
        size_t h;
        static_assert(sizeof h <= sizeof(CZTDigest));
        __builtin_memcpy(&h, d.data(), sizeof h);
        return h;
    }
};

// A revision as the history lists it.
struct CZTRevisionKey {
    int32_t time = 0; // seconds since 1970
    bool visible = true;
    bool operator==(const CZTRevisionKey&) const = default;
};

struct CZTRevision {
    bool visible = true;
    CZTDigest body{};              // SHA-1 of the whole body
    std::vector<CZTDigest> chunks; // the body's chunks in order
};

struct CZTStoredChunk {
    CZTDigest hash{};      // SHA-1 of the uncompressed chunk
    bool compressed = true; // bytes in the compressed-buffer layout, else the chunk itself
    zt::CZTBytes bytes;
};

class CZTHistory {
public:
    enum Action { RemoveReference = 0, Hide = 1, Show = 2 };

    // ---- operations of the history dialog and commands
    // Every revision (time, visible), oldest first.
    void ListRevisions(std::vector<CZTRevisionKey>& out) const;
    // Joins the chunks of the revision into its body. False when the key is
    // not in the map or the revision is damaged (a chunk missing or
    // unreadable, or the body does not match its SHA-1); `error` says why.
    bool GetRevisionBody(int32_t time, bool visible, std::string& body, std::string* error = nullptr) const;
    // The body of the revision with the greatest time.
    bool GetNewestBody(std::string& body, std::string* error = nullptr) const;
    // Action 0 removes the revision (its chunks stay), 1 hides it, 2 makes it
    // visible again. False when the key is not in the map.
    bool ChangeRevision(CZTRevisionKey key, int action);
    // Drops every revision and chunk; true when there was any.
    bool RemoveHistory();
    // Resets everything (a new or another document).
    void Clear();

    // The label shown for a revision: its time in local time as
    // "%Y-%m-%d %H:%M:%S".
    static std::string RevisionLabel(int32_t time);
    // The revision text: the body SHA-1 and then every chunk's SHA-1, each as
    // 40 hexadecimal digits and a line feed. Empty when there is no such revision.
    std::string RevisionText(int32_t time) const;

    bool Empty() const { return revisions_.empty() && chunks_.empty(); }
    bool HasRevision(int32_t time) const { return revisions_.count(time) != 0; }
    // The greatest revision time; false when there is no revision.
    bool NewestTime(int32_t& time) const;

    // ---- the revision map and the chunk store, for reading and writing files
    const std::map<int32_t, CZTRevision>& Revisions() const { return revisions_; }
    // Adds or replaces the revision of that time.
    void PutRevision(int32_t time, CZTRevision revision) { revisions_[time] = std::move(revision); }

    // Chunks in the order they were stored.
    const std::vector<CZTStoredChunk>& Chunks() const { return chunks_; }
    std::vector<CZTStoredChunk>& Chunks() { return chunks_; }
    const CZTStoredChunk* FindChunk(const CZTDigest& hash) const;
    bool HasChunk(const CZTDigest& hash) const { return index_.count(hash) != 0; }
    // Stores a chunk; a chunk already stored is kept as it is (false).
    bool AddChunk(CZTStoredChunk chunk);
    // Total bytes of the stored chunks as they are held.
    uint64_t StoredBytes() const { return storedBytes_; }

    // The flag byte of a container read in its delta form.
    uint8_t deltaFlag = 0;

    // The largest body a revision may have: deflate gives at most 1032:1, and
    // as a chunk may be named many times, small stores get a fixed allowance.
    uint64_t BodyLimit(size_t chunkCount) const;

    // Joins the body of `revision` into one block, inflating its chunks on
    // two threads. Its SHA-1 is left to the caller, which can check it while
    // it already reads the body (see CheckBody).
    bool JoinBlock(const CZTRevision& revision, std::shared_ptr<zt::CZTBlock>& block, std::string* error) const;
    static bool CheckBody(const CZTRevision& revision, std::string_view body, std::string* error);

private:
    bool Join(const CZTRevision& revision, std::string& body, std::string* error) const;
    // Inflates the chunks of `revision` into the memory `allocate` gives for
    // the body's size, on two threads for large bodies.
    bool JoinInto(const CZTRevision& revision, const std::function<char*(size_t)>& allocate,
                  std::string* error) const;

    std::map<int32_t, CZTRevision> revisions_;
    std::vector<CZTStoredChunk> chunks_;
    std::unordered_map<CZTDigest, size_t, CZTDigestHash> index_;
    uint64_t storedBytes_ = 0;
};


namespace zt {
// 40 lower-case hexadecimal digits.
std::string DigestHex(const CZTDigest& d);
CZTDigest DigestOf(std::string_view sha1Bytes);
} // namespace zt
