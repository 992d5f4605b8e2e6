// The key ring of an encrypted document.
//
// The content of an encrypted document is protected by a random 32-byte
// document key. The document stores a key area: one key block per authorised
// name/password combination or certificate, each holding the document key in a
// form only those credentials can open (wrapped with AES key wrap under a key
// derived by PBKDF2, or, in older documents, derived from the password
// directly). The ring loads, unlocks, verifies and edits the key area and
// encrypts and decrypts the document's content streams and items.
//
// Key block layout (152 bytes, integers 32-bit little-endian):
//   0 content mode (1 or 2)     4 type                 8 key check value (16)
//  24 iteration count          28 key length          32 IV (16)
//  48 wrapped document key (40) 88 filler (28)        116 extension length
// 120 salt (16)               136 name tag (16)       152 extension (certificate blocks)
#pragma once

#include "base/messages.h"
#include "security/cipherstream.h"
#include "security/crypto.h"
#include "security/securebytes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

class CZtKeyObject;
class Prompter;

// A name with a password, or a key object. The key object wins when both are
// given.
struct CZtCredentials {
    std::string name;
    std::string password;
    CZtKeyObject* keyObject = nullptr;

    bool HasNamePassword() const { return !name.empty() && !password.empty(); }
    bool Complete() const { return keyObject || HasNamePassword(); }
};

class CZtKeyRing {
public:
    enum State { kUnencrypted = 0, kLocked = 1, kUnlocked = 2 };

    static constexpr size_t kBlockSize = 152;
    static constexpr uint32_t kNewIterations = 300000;
    static constexpr uint32_t kTypeDirectSha1 = 0x00010001;
    static constexpr uint32_t kTypeDirect2 = 0x00020001;
    static constexpr uint32_t kTypeWrappedSha1 = 0x10010001;
    static constexpr uint32_t kTypeWrappedSha256 = 0x10020001;
    static constexpr uint32_t kTypeWrappedCertificate = 0x10030001;
    // Hostile key areas cannot make an unlock search run for long.
    static constexpr size_t kMaxBlocks = 256;

    // Messages (a failed unwrap, a content tag mismatch, no random source)
    // go to `prompter`; nullptr keeps them silent.
    explicit CZtKeyRing(Prompter* prompter = nullptr);
    ~CZtKeyRing();
    void SetPrompter(Prompter* prompter) { prompter_ = prompter; }
    Prompter* MessagePrompter() const { return prompter_; }
    CZtKeyRing(const CZtKeyRing&) = delete;
    CZtKeyRing& operator=(const CZtKeyRing&) = delete;

    int State() const { return state_; }
    size_t BlockCount() const { return blocks_.size(); }
    size_t CurrentBlock() const { return current_; }
    bool SeveralBlocks() const { return several_; }
    // Whether another block can be added: several blocks, or one full-size
    // wrapped block.
    bool Extensible() const;
    // The bytes of block `i` (with its extension).
    const std::string& Block(size_t i) const { return blocks_.at(i); }
    // Whether the current block is a direct block of an older document (its
    // key derived from the password itself).
    bool CurrentBlockDirect() const;

    // Takes a key area; drops whatever the ring held before. 0 = accepted
    // (state 1, the first block is current); -1 = a size or field out of range;
    // -2 = an unknown content mode or type, or a wrapped block whose key
    // length is not 40. On failure the ring is left in state 0.
    int LoadKeyArea(std::string_view area);

    // State 1 to 2. Finds the block of the credentials (wrapped areas), opens
    // it and tests the key check value. A failed unwrap reports
    // Msg::KeyMacBad; an unknown name or a failed check fails silently.
    bool Unlock(const CZtCredentials& credentials);
    // State 2: whether the credentials open the current block.
    bool Verify(const CZtCredentials& credentials);

    // State 0 to 2: a new document key and one block for the credentials. On
    // failure the ring stays unencrypted.
    bool CreateEncryption(const CZtCredentials& credentials);
    // Each proves `current` first. On failure nothing changes.
    bool ChangeCredentials(const CZtCredentials& current, const CZtCredentials& replacement);
    // A single direct block of an older document cannot stand beside other
    // blocks (an area of several blocks begins with a wrapped block), so it is
    // first rebuilt as a wrapped name/password block for `current` around the
    // same document key; the new block follows it.
    bool AddCredentials(const CZtCredentials& current, const CZtCredentials& added);
    // `removed` must name another block than the current one; empty
    // credentials fail (removing all encryption is RemoveEncryption).
    bool RemoveCredentials(const CZtCredentials& current, const CZtCredentials& removed);
    bool RemoveEncryption(const CZtCredentials& current);

    // Before the document is written (state 2): full-size blocks, content
    // mode 2, one new IV for all blocks, key check values recomputed.
    bool PrepareSave();
    // The blocks laid end to end.
    std::string KeyArea() const;
    // Wipes and drops key area, document key and stream; state 0.
    void Clear();
    // A ring with the same blocks, current block, document key and state (no
    // stream, no digest); for reading items written under these keys later.
    std::unique_ptr<CZtKeyRing> Clone() const;
    // Exchanges blocks, current block, document key and state with `other`
    // (between reads and writes: no stream is open). Opening a file reads
    // into a ring of its own this way and keeps the open document's keys
    // until the new file has been read whole.
    void SwapKeys(CZtKeyRing& other);

    // While set, streams and items pass plain bytes even in state 2.
    void SetBypass(bool bypass) { bypass_ = bypass; }
    bool Bypass() const { return bypass_; }

    // Content streams. In state 2 (without bypass) they encrypt under the
    // document key and the current block's IV; in state 0 or with bypass they
    // move plain bytes and feed the plain-byte digest. Only one stream is
    // active at a time. Reading refuses content mode 1 (which has no tag)
    // unless the current block is of a kind that older documents wrote with
    // it (direct and SHA-1 blocks): the content mode is not authenticated.
    bool BeginRead(uint64_t itemLength, RawReader reader);
    size_t Read(void* out, size_t n);
    // A tag mismatch reports Msg::DataMacBad; the caller must not use the
    // content read.
    CZtCipherStream::End EndRead();
    bool BeginWrite(RawWriter writer);
    bool Write(std::string_view bytes);
    bool EndWrite();

    // Items of external content files. "ZT07": the content stream under the
    // document's key area. "ZT08": the item carries its own copy of the key
    // area (with a fresh IV) ahead of the stream. WriteItem returns the tag
    // followed by the item; ReadItem takes the bytes after the tag and returns
    // the content with the zero padding of its last block. An item whose tag
    // does not match is refused (Msg::DataMacBad, and `tagMismatch` set). In
    // state 0 or with bypass both pass the bytes unchanged.
    std::optional<std::string> WriteItem(std::string_view tag, std::string_view bytes) const;
    std::optional<SecureBytes> ReadItem(std::string_view tag, std::string_view item,
                                        bool* tagMismatch = nullptr) const;

    // SHA-256 of the plain bytes that passed the streams since the last reset.
    SecureBytes PlainDigest() const;
    void ResetPlainDigest();

    // The document key (state 2 only; empty otherwise).
    const SecureBytes& DocumentKey() const { return docKey_; }

private:
    enum class StreamKind { None, PlainRead, PlainWrite, Cipher };

    bool Encrypting() const { return state_ == kUnlocked && !bypass_; }
    bool Plain() const { return state_ == kUnencrypted || bypass_; }
    void Report(Msg msg) const;
    std::optional<size_t> FindBlock(const CZtCredentials& credentials);
    bool BlockMatches(size_t index, const CZtCredentials& credentials);
    std::optional<SecureBytes> OpenBlock(size_t index, const CZtCredentials& credentials);
    std::optional<std::string> MakeBlock(const CZtCredentials& credentials, std::string_view docKey);
    bool ReadPayload(std::string_view stored, std::string_view key, const std::string& block,
                     std::string_view headerHash, SecureBytes& out, bool* tagMismatch) const;

    Prompter* prompter_;
    int state_ = kUnencrypted;
    std::vector<std::string> blocks_;
    size_t current_ = 0;
    bool several_ = false;
    SecureBytes docKey_;
    bool bypass_ = false;
    StreamKind streamKind_ = StreamKind::None;
    CZtCipherStream stream_;
    RawReader plainReader_;
    RawWriter plainWriter_;
    uint64_t plainRemaining_ = 0;
    bool plainFailed_ = false;
    Sha256Hasher plainHash_;
};

} // namespace zt
