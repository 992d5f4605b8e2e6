#include "history.h"

#include "base/bytes.h"
#include "core/compress.h"
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

bool CZTHistory::Join(const CZTRevision& revision, std::string& body, std::string* error) const {
    body.clear();
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        body.clear();
        return false;
    };
    const size_t n = revision.chunks.size();
    std::vector<const CZTStoredChunk*> parts(n);
    std::vector<uint64_t> at(n + 1, 0);
    for (size_t i = 0; i < n; ++i) {
        parts[i] = FindChunk(revision.chunks[i]);
        if (!parts[i]) return fail("Block " + zt::DigestHex(revision.chunks[i]) + " fehlt");
        bool plausible = true;
        at[i + 1] = at[i] + ChunkSize(*parts[i], plausible);
        if (!plausible) return fail("Block " + zt::DigestHex(revision.chunks[i]) + " ist beschädigt");
    }
    const uint64_t total = at[n];
    const uint64_t limit = std::min(kBodyMax, std::max(kBodyAllowance, zt::MaxInflatedSize(storedBytes_ + 22 * n)));
    if (total > limit) return fail("Version zu groß");
    body.resize(size_t(total));

    auto inflateOne = [&](size_t i, std::string* why) {
        const CZTStoredChunk& c = *parts[i];
        char* out = body.data() + at[i];
        const size_t size = size_t(at[i + 1] - at[i]);
        if (!c.compressed) {
            std::memcpy(out, c.bytes.data(), size);
            return true;
        }
        return zt::DecompressBufferTo(c.bytes, out, size, why);
    };

    zt::Sha1Hasher hasher;
    size_t failedAt = n;
    if (total < kParallelJoin || n < 4) {
        for (size_t i = 0; i < n && failedAt == n; ++i) {
            if (inflateOne(i, nullptr)) hasher.Update(body.data() + at[i], size_t(at[i + 1] - at[i]));
            else failedAt = i;
        }
    } else {
        // Both threads inflate chunks in body order; this one also feeds the
        // SHA-1 with every chunk as soon as it is there.
        std::vector<std::atomic<uint8_t>> state(n); // 0 pending, 1 done, 2 damaged
        std::atomic<size_t> next{0};
        std::atomic<bool> stop{false};
        auto take = [&] {
            const size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= n) return false;
            const bool ok = inflateOne(i, nullptr);
            state[i].store(ok ? 1 : 2, std::memory_order_release);
            if (!ok) stop.store(true, std::memory_order_relaxed);
            return true;
        };
        std::thread worker([&] {
            while (!stop.load(std::memory_order_relaxed) && take()) {
            }
        });
        size_t hashed = 0;
        while (hashed < n) {
            const uint8_t s = state[hashed].load(std::memory_order_acquire);
            if (s == 1) {
                hasher.Update(body.data() + at[hashed], size_t(at[hashed + 1] - at[hashed]));
                ++hashed;
            } else if (s == 2) {
                failedAt = hashed;
                break;
            } else if (stop.load(std::memory_order_relaxed)) {
                // A later chunk failed; find the first one that did.
                worker.join();
                for (size_t i = hashed; i < n; ++i)
                    if (state[i].load() == 2) {
                        failedAt = i;
                        break;
                    }
                break;
            } else if (!take()) {
                std::this_thread::yield();
            }
        }
        stop.store(true);
        if (worker.joinable()) worker.join();
    }
    if (failedAt < n) {
        std::string why;
        inflateOne(failedAt, &why);
        return fail("Block " + zt::DigestHex(revision.chunks[failedAt]) + " ist beschädigt (" + why + ")");
    }
    CZTDigest digest;
    hasher.Final(digest.data());
    if (digest != revision.body) return fail("Prüfsumme des Inhalts stimmt nicht");
    return true;
}
