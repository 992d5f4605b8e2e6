#include "history.h"

#include "base/bytes.h"
#include "core/compress.h"
#include "core/content.h"
#include "security/crypto.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <ctime>
#include <thread>

namespace zt {

std::string DigestHex(const CZTDigest& d) {
    return ToHex(std::string_view(reinterpret_cast<const char*>(d.data()), d.size()));
}

CZTDigest DigestOf(std::string_view sha1Bytes) {
    CZTDigest d{};
    std::memcpy(d.data(), sha1Bytes.data(), std::min(sha1Bytes.size(), d.size()));
    return d;
}

} // namespace zt

namespace {

// A body may not grow beyond what its container can honestly hold: deflate
// gives at most 1032:1, and a chunk may be named many times, so small
// containers get a fixed allowance.
constexpr uint64_t kBodyAllowance = uint64_t(256) << 20;
constexpr uint64_t kBodyMax = INT32_MAX;

// Bodies from this size on are joined on two threads.
constexpr uint64_t kParallelJoin = uint64_t(4) << 20;

size_t ChunkSize(const CZTStoredChunk& c, bool& plausible) {
    plausible = true;
    if (!c.compressed) return c.bytes.size();
    uint32_t length = 0, crc = 0;
    if (!zt::BufferPrefix(c.bytes, length, crc) || length > zt::MaxInflatedSize(c.bytes.size() - 8)) {
        plausible = false;
        return 0;
    }
    return length;
}

} // namespace

// ---------------------------------------------------------------- operations

void CZTHistory::ListRevisions(std::vector<CZTRevisionKey>& out) const {
    out.clear();
    out.reserve(revisions_.size());
    for (const auto& [time, r] : revisions_) out.push_back({time, r.visible});
}

bool CZTHistory::GetRevisionBody(int32_t time, bool visible, std::string& body, std::string* error) const {
    auto it = revisions_.find(time);
    if (it == revisions_.end() || it->second.visible != visible) {
        if (error) *error = "keine solche Version";
        return false;
    }
    return Join(it->second, body, error);
}

bool CZTHistory::GetNewestBody(std::string& body, std::string* error) const {
    if (revisions_.empty()) {
        if (error) *error = "keine Version";
        return false;
    }
    return Join(revisions_.rbegin()->second, body, error);
}

bool CZTHistory::ChangeRevision(CZTRevisionKey key, int action) {
    auto it = revisions_.find(key.time);
    if (it == revisions_.end() || it->second.visible != key.visible) return false;
    switch (action) {
    case RemoveReference: revisions_.erase(it); return true;
    case Hide: it->second.visible = false; return true;
    case Show: it->second.visible = true; return true;
    default: return false;
    }
}

bool CZTHistory::RemoveHistory() {
    const bool had = !Empty();
    Clear();
    return had;
}

void CZTHistory::Clear() {
    revisions_.clear();
    chunks_.clear();
    chunks_.shrink_to_fit();
    index_.clear();
    storedBytes_ = 0;
    deltaFlag = 0;
}

std::string CZTHistory::RevisionLabel(int32_t time) {
    std::time_t t = time;
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string CZTHistory::RevisionText(int32_t time) const {
    auto it = revisions_.find(time);
    if (it == revisions_.end()) return {};
    std::string text = zt::DigestHex(it->second.body) + "\n";
    for (const auto& c : it->second.chunks) text += zt::DigestHex(c) + "\n";
    return text;
}

bool CZTHistory::NewestTime(int32_t& time) const {
    if (revisions_.empty()) return false;
    time = revisions_.rbegin()->first;
    return true;
}

// ---------------------------------------------------------------- chunk store

const CZTStoredChunk* CZTHistory::FindChunk(const CZTDigest& hash) const {
    auto it = index_.find(hash);
    return it == index_.end() ? nullptr : &chunks_[it->second];
}

bool CZTHistory::AddChunk(CZTStoredChunk chunk) {
    auto [it, added] = index_.emplace(chunk.hash, chunks_.size());
    if (!added) return false;
    storedBytes_ += chunk.bytes.size();
    chunks_.push_back(std::move(chunk));
    return true;
}

// ---------------------------------------------------------------- joining

uint64_t CZTHistory::BodyLimit(size_t chunkCount) const {
    return std::min(kBodyMax, std::max(kBodyAllowance, zt::MaxInflatedSize(storedBytes_ + 22 * chunkCount)));
}

bool CZTHistory::Join(const CZTRevision& revision, std::string& body, std::string* error) const {
    body.clear();
    const bool ok = JoinInto(
        revision,
        [&body](size_t size) {
            body.resize(size);
            return body.data();
        },
        error);
    if (!ok || !CheckBody(revision, body, error)) {
        body.clear();
        return false;
    }
    return true;
}

bool CZTHistory::JoinBlock(const CZTRevision& revision, std::shared_ptr<zt::CZTBlock>& block,
                           std::string* error) const {
    block.reset();
    std::shared_ptr<zt::CZTBlock> made;
    const bool ok = JoinInto(
        revision,
        [&made](size_t size) {
            made = zt::CZTBlock::Allocate(size);
            return made->data();
        },
        error);
    if (ok) block = std::move(made);
    return ok;
}

bool CZTHistory::JoinInto(const CZTRevision& revision, const std::function<char*(size_t)>& allocate,
                          std::string* error) const {
    std::vector<const CZTStoredChunk*> parts;
    std::vector<uint64_t> offsets;
    uint64_t total = 0;
    for (const CZTDigest& d : revision.chunks) {
        const CZTStoredChunk* c = FindChunk(d);
        if (!c) {
            if (error) *error = "Block " + zt::DigestHex(d) + " fehlt";
            return false;
        }
        bool plausible = true;
        const size_t size = ChunkSize(*c, plausible);
        if (!plausible || (size == 0 && c->compressed && !zt::DecompressBufferTo(c->bytes, nullptr, 0))) {
            if (error) *error = "Block " + zt::DigestHex(d) + " ist beschädigt";
            return false;
        }
        if (size == 0) continue;
        parts.push_back(c);
        offsets.push_back(total);
        total += size;
    }
    if (total > BodyLimit(revision.chunks.size())) {
        if (error) *error = "Inhalt zu groß";
        return false;
    }
    offsets.push_back(total);
    char* out = allocate(size_t(total));

    // Both threads take the next chunk until none is left; the first damaged
    // chunk (in body order) is reported.
    const size_t n = parts.size();
    std::atomic<size_t> next{0};
    std::atomic<size_t> firstBad{n};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < n;) {
            const CZTStoredChunk& c = *parts[i];
            const size_t size = size_t(offsets[i + 1] - offsets[i]);
            bool ok = true;
            if (c.compressed)
                ok = zt::DecompressBufferTo(c.bytes, out + offsets[i], size);
            else
                std::memcpy(out + offsets[i], c.bytes.data(), size);
            if (!ok) {
                size_t seen = firstBad.load();
                while (i < seen && !firstBad.compare_exchange_weak(seen, i)) {
                }
            }
        }
    };
    if (total >= kParallelJoin && n >= 4) {
        std::thread helper(work);
        work();
        helper.join();
    } else {
        work();
    }
    if (const size_t bad = firstBad.load(); bad < n) {
        std::string why;
        zt::DecompressBufferTo(parts[bad]->bytes, out + offsets[bad], size_t(offsets[bad + 1] - offsets[bad]), &why);
        if (error) *error = "Block " + zt::DigestHex(parts[bad]->hash) + " ist beschädigt (" + why + ")";
        return false;
    }
    return true;
}

bool CZTHistory::CheckBody(const CZTRevision& revision, std::string_view body, std::string* error) {
    uint8_t digest[zt::kSha1Size];
    zt::Sha1Hasher h;
    h.Update(body);
    h.Final(digest);
    if (std::memcmp(digest, revision.body.data(), zt::kSha1Size) == 0) return true;
    if (error) *error = "Prüfsumme des Inhalts stimmt nicht";
    return false;
}

