#include "security/keyring.h"

#include "base/bytes.h"
#include "base/prompter.h"
#include "security/keyobject.h"

#include <algorithm>
#include <cstring>

namespace zt {

namespace {

constexpr size_t kOffMode = 0;
constexpr size_t kOffType = 4;
constexpr size_t kOffCheck = 8;
constexpr size_t kOffIterations = 24;
constexpr size_t kOffKeyLength = 28;
constexpr size_t kOffIv = 32;
constexpr size_t kOffWrapped = 48;
constexpr size_t kOffRandomTail = 88; // filler and extension length
constexpr size_t kOffExtLength = 116;
constexpr size_t kOffSalt = 120;
constexpr size_t kOffTag = 136;
constexpr size_t kOffExtension = 152;
constexpr size_t kWrappedLength = 40;
constexpr size_t kDocKeyLength = 32;
constexpr uint32_t kWrappedBit = 0x10000000;
constexpr uint32_t kMinIterations = 1001;
constexpr uint32_t kMaxIterations = 999999999;
constexpr size_t kMaxExtension = 65536;
constexpr uint32_t kMaxItemKeyArea = 1000000;
// The name search of an area of several blocks runs PBKDF2 with a quarter of
// each block's iterations (twice, with the fallback salt). A hostile area must
// not make that search run longer than the tag of one block with the largest
// iteration count allowed.
constexpr uint64_t kMaxTagWork = kMaxIterations / 4;

const std::string_view kCheckPlain("\x3c\x5e\x1f\x0a\x9b\x27\xd4\x86\x6e\x0c\x13\xf5\xa8\xb2\xd9\x7e", 16);
const std::string kFallbackTagSalt(16, '\xc3');

uint32_t Get(const std::string& b, size_t off) { return GetLE32(b.data() + off); }
void Set(std::string& b, size_t off, uint32_t v) { SetLE32(b.data() + off, v); }
std::string_view Field(const std::string& b, size_t off, size_t n) { return std::string_view(b).substr(off, n); }

uint32_t Type(const std::string& b) { return Get(b, kOffType); }
bool IsWrapped(const std::string& b) { return Type(b) & kWrappedBit; }
unsigned Kind(const std::string& b) { return (Type(b) >> 16) & 3; }
bool IsCertificate(const std::string& b) { return IsWrapped(b) && Kind(b) == 3; }
bool UsesSha256(const std::string& b) { return Kind(b) == 2; }

bool KnownType(uint32_t t) {
    return t == CZtKeyRing::kTypeDirectSha1 || t == CZtKeyRing::kTypeDirect2 ||
           t == CZtKeyRing::kTypeWrappedSha1 || t == CZtKeyRing::kTypeWrappedSha256 ||
           t == CZtKeyRing::kTypeWrappedCertificate;
}

SecureBytes Prf(bool sha256, std::string_view password, std::string_view salt, uint32_t iterations,
                size_t length) {
    return sha256 ? Pbkdf2HmacSha256(password, salt, iterations, length)
                  : Pbkdf2HmacSha1(password, salt, iterations, length);
}

// The first 16 bytes of SHA-256(salt): the IV of the name and certificate tags.
std::string TagIv(const std::string& block) { return Sha256(Field(block, kOffSalt, 16)).str().substr(0, 16); }

// The name tag of `block` for `name`, with the block's PRF and a quarter of
// its iteration count. Documents of older versions used the fixed salt.
std::string NameTag(const std::string& block, std::string_view name, bool fallbackSalt) {
    std::string pbkdfSalt =
        fallbackSalt ? kFallbackTagSalt : Sha256(Sha256(Field(block, kOffSalt, 16))).str().substr(0, 16);
    SecureBytes t = Prf(UsesSha256(block), name, pbkdfSalt, Get(block, kOffIterations) / 4, 32);
    SecureBytes k = Sha256(t);
    return *AesCbcEncrypt(k, TagIv(block), name.substr(0, std::min<size_t>(name.size(), 16)), CbcPadding::Zero);
}

std::string CertificateTag(const std::string& block, std::string_view identity) {
    return *AesCbcEncrypt(identity, TagIv(block), identity.substr(0, 16), CbcPadding::Zero);
}

std::string CheckValue(std::string_view docKey, const std::string& block) {
    return *AesCbcEncrypt(docKey, Field(block, kOffIv, 16), kCheckPlain, CbcPadding::None);
}

bool PassesCheck(std::string_view docKey, const std::string& block) {
    return docKey.size() == kDocKeyLength &&
           ConstantTimeEqual(CheckValue(docKey, block), Field(block, kOffCheck, 16));
}

// Field checks of one block: 0, -1 or -2.
int CheckBlock(const std::string& b) {
    uint32_t mode = Get(b, kOffMode);
    if ((mode != 1 && mode != 2) || !KnownType(Type(b))) return -2;
    uint32_t iterations = Get(b, kOffIterations);
    if (iterations < kMinIterations || iterations > kMaxIterations) return -1;
    uint32_t keyLength = Get(b, kOffKeyLength);
    if (IsWrapped(b)) return keyLength == kWrappedLength ? 0 : -2;
    return keyLength == kDocKeyLength ? 0 : -1;
}

// Content mode 1 carries no tag. The mode field is not authenticated, so it is
// believed only for the block kinds of older documents that wrote it.
bool ModeAllowed(const std::string& b) {
    uint32_t mode = Get(b, kOffMode);
    if (mode == 2) return true;
    uint32_t t = Type(b);
    return mode == 1 && (t == CZtKeyRing::kTypeDirectSha1 || t == CZtKeyRing::kTypeDirect2 ||
                         t == CZtKeyRing::kTypeWrappedSha1);
}

std::optional<SecureBytes> Identity(CZtKeyObject& keyObject) {
    std::string publicKey = keyObject.PublicKeyBytes();
    if (publicKey.empty()) return std::nullopt;
    return Sha256(publicKey);
}

} // namespace

CZtKeyRing::CZtKeyRing(Prompter* prompter) : prompter_(prompter) {}

CZtKeyRing::~CZtKeyRing() { Clear(); }

void CZtKeyRing::Report(Msg msg) const {
    if (prompter_) prompter_->Message(MessageText(msg), Prompter::Icon::Warning);
}

void CZtKeyRing::Clear() {
    for (auto& b : blocks_) WipeString(b);
    blocks_.clear();
    docKey_.clear();
    current_ = 0;
    several_ = false;
    state_ = kUnencrypted;
    stream_.Reset();
    streamKind_ = StreamKind::None;
    plainReader_ = nullptr;
    plainWriter_ = nullptr;
}

bool CZtKeyRing::CurrentBlockDirect() const {
    return state_ != kUnencrypted && current_ < blocks_.size() && !IsWrapped(blocks_[current_]);
}

bool CZtKeyRing::Extensible() const {
    if (several_) return true;
    return blocks_.size() == 1 && blocks_[0].size() >= kBlockSize && IsWrapped(blocks_[0]);
}

// ---- Key area ---------------------------------------------------------------

int CZtKeyRing::LoadKeyArea(std::string_view area) {
    Clear();
    std::vector<std::string> blocks;
    size_t n = area.size();
    if (n == 64 || n == 88 || n == 128 || n == kBlockSize) {
        // One block; the shorter forms are the first bytes of a full block.
        std::string b(area);
        b.resize(kBlockSize, '\0');
        if (int r = CheckBlock(b)) return r;
        // A wrapped block needs all its fields, and a certificate block its extension.
        if (IsWrapped(b) && (n < kBlockSize || IsCertificate(b))) return -1;
        blocks.push_back(std::move(b));
    } else if (n > kBlockSize) {
        size_t pos = 0;
        uint64_t tagWork = 0;
        while (pos < n) {
            if (n - pos < kBlockSize || blocks.size() == kMaxBlocks) return -1;
            std::string b(area.substr(pos, kBlockSize));
            if (int r = CheckBlock(b)) return r;
            // Every block of a longer area is wrapped; a direct block cannot be found by name.
            if (!IsWrapped(b)) return -1;
            if (!IsCertificate(b)) {
                tagWork += Get(b, kOffIterations) / 4;
                if (tagWork > kMaxTagWork) return -1;
            }
            size_t length = kBlockSize;
            if (IsCertificate(b)) {
                uint32_t ext = Get(b, kOffExtLength);
                if (ext < 5 || ext > kMaxExtension || n - pos - kBlockSize < ext) return -1;
                length += ext;
                b.assign(area.substr(pos, length));
            }
            blocks.push_back(std::move(b));
            pos += length;
        }
    } else {
        return -1;
    }
    blocks_ = std::move(blocks);
    current_ = 0;
    several_ = n > kBlockSize;
    state_ = kLocked;
    return 0;
}

std::string CZtKeyRing::KeyArea() const {
    std::string out;
    for (const auto& b : blocks_) out += b;
    return out;
}

// ---- Finding and opening blocks ---------------------------------------------

bool CZtKeyRing::BlockMatches(size_t index, const CZtCredentials& c) {
    const std::string& b = blocks_[index];
    if (!IsWrapped(b)) return false;
    if (c.keyObject) {
        if (!IsCertificate(b)) return false;
        auto identity = Identity(*c.keyObject);
        return identity && ConstantTimeEqual(CertificateTag(b, *identity), Field(b, kOffTag, 16));
    }
    if (IsCertificate(b) || c.name.empty()) return false;
    return ConstantTimeEqual(NameTag(b, c.name, false), Field(b, kOffTag, 16)) ||
           ConstantTimeEqual(NameTag(b, c.name, true), Field(b, kOffTag, 16));
}

std::optional<size_t> CZtKeyRing::FindBlock(const CZtCredentials& c) {
    if (c.keyObject) {
        auto identity = Identity(*c.keyObject);
        if (!identity) return std::nullopt;
        for (size_t i = 0; i < blocks_.size(); ++i) {
            const std::string& b = blocks_[i];
            if (IsCertificate(b) && ConstantTimeEqual(CertificateTag(b, *identity), Field(b, kOffTag, 16)))
                return i;
        }
        return std::nullopt;
    }
    if (c.name.empty()) return std::nullopt;
    // The regular tags first over all blocks, then the fallback salt of older versions.
    for (bool fallback : {false, true}) {
        for (size_t i = 0; i < blocks_.size(); ++i) {
            const std::string& b = blocks_[i];
            if (!IsWrapped(b) || IsCertificate(b)) continue;
            if (ConstantTimeEqual(NameTag(b, c.name, fallback), Field(b, kOffTag, 16))) return i;
        }
    }
    return std::nullopt;
}

// Derives the document key from block `index` and tests the key check value.
std::optional<SecureBytes> CZtKeyRing::OpenBlock(size_t index, const CZtCredentials& c) {
    const std::string& b = blocks_[index];
    uint32_t iterations = Get(b, kOffIterations);
    std::optional<SecureBytes> key;
    if (!IsWrapped(b)) {
        if (c.keyObject || !c.HasNamePassword()) return std::nullopt;
        key = Pbkdf2HmacSha1(c.password, c.name, iterations, Get(b, kOffKeyLength));
    } else if (c.keyObject) {
        if (!IsCertificate(b) || b.size() < kOffExtension + 5) return std::nullopt;
        uint8_t algorithm = uint8_t(b[kOffExtension]);
        uint32_t length = Get(b, kOffExtension + 1);
        if ((algorithm != 1 && algorithm != 2) || length != Get(b, kOffExtLength) - 5 ||
            b.size() != kOffExtension + 5 + size_t(length))
            return std::nullopt;
        std::string_view oid = algorithm == 1 ? kOidRsaEncryption : kOidEcPublicKey;
        auto kek = c.keyObject->DecryptWithPrivateKey(Field(b, kOffExtension + 5, length), oid);
        if (kek) key = AesKeyUnwrap(*kek, Field(b, kOffWrapped, kWrappedLength));
        if (!key) {
            Report(Msg::KeyMacBad);
            return std::nullopt;
        }
    } else {
        if (IsCertificate(b) || !c.HasNamePassword()) return std::nullopt;
        bool sha256 = UsesSha256(b);
        SecureBytes inner = Prf(sha256, c.name, Field(b, kOffSalt, 16), iterations, 32);
        SecureBytes kek = Prf(sha256, c.password, inner, iterations, 32);
        key = AesKeyUnwrap(kek, Field(b, kOffWrapped, kWrappedLength));
        if (!key) {
            Report(Msg::KeyMacBad);
            return std::nullopt;
        }
    }
    if (!PassesCheck(*key, b)) return std::nullopt;
    return key;
}

bool CZtKeyRing::Unlock(const CZtCredentials& c) {
    if (state_ != kLocked || !c.Complete() || blocks_.empty()) return false;
    size_t index = current_;
    if (IsWrapped(blocks_[current_])) {
        auto found = FindBlock(c);
        if (!found) return false;
        index = *found;
    }
    auto key = OpenBlock(index, c);
    if (!key) return false;
    docKey_ = std::move(*key);
    current_ = index;
    state_ = kUnlocked;
    return true;
}

bool CZtKeyRing::Verify(const CZtCredentials& c) {
    if (state_ != kUnlocked || !c.Complete()) return false;
    if (IsWrapped(blocks_[current_]) && !BlockMatches(current_, c)) return false;
    auto key = OpenBlock(current_, c);
    return key && ConstantTimeEqual(*key, docKey_);
}

// ---- Creating and editing blocks --------------------------------------------

std::optional<std::string> CZtKeyRing::MakeBlock(const CZtCredentials& c, std::string_view docKey) {
    std::string b(kBlockSize, '\0');
    bool drawn = DrawRandom(b.data() + kOffIv, 16) && DrawRandom(b.data() + kOffWrapped, kWrappedLength) &&
                 DrawRandom(b.data() + kOffRandomTail, 32) && DrawRandom(b.data() + kOffSalt, 16) &&
                 DrawRandom(b.data() + kOffTag, 16);
    if (!drawn) {
        Report(Msg::NoRandomSource);
        return std::nullopt;
    }
    Set(b, kOffMode, 2);
    Set(b, kOffIterations, kNewIterations);
    Set(b, kOffKeyLength, kWrappedLength);
    std::optional<std::string> wrapped;
    if (c.keyObject) {
        Set(b, kOffType, kTypeWrappedCertificate);
        Set(b, kOffExtLength, 0);
        if (c.keyObject->PublicKeyAlgorithm() != kOidRsaEncryption) return std::nullopt;
        auto identity = Identity(*c.keyObject);
        if (!identity) return std::nullopt;
        std::string tag = CertificateTag(b, *identity);
        std::memcpy(b.data() + kOffTag, tag.data(), 16);
        auto kek = DrawRandom(32);
        if (!kek) {
            Report(Msg::NoRandomSource);
            return std::nullopt;
        }
        auto encrypted = c.keyObject->EncryptToPublicKey(*kek, kOidRsaEncryption);
        if (!encrypted || encrypted->empty() || encrypted->size() > kMaxExtension - 5) return std::nullopt;
        wrapped = AesKeyWrap(*kek, docKey);
        b.push_back('\x01');
        PutLE32(b, uint32_t(encrypted->size()));
        b += *encrypted;
        Set(b, kOffExtLength, uint32_t(5 + encrypted->size()));
    } else {
        if (!c.HasNamePassword()) return std::nullopt;
        Set(b, kOffType, kTypeWrappedSha256);
        std::string tag = NameTag(b, c.name, false);
        std::memcpy(b.data() + kOffTag, tag.data(), 16);
        SecureBytes inner = Pbkdf2HmacSha256(c.name, Field(b, kOffSalt, 16), kNewIterations, 32);
        SecureBytes kek = Pbkdf2HmacSha256(c.password, inner, kNewIterations, 32);
        wrapped = AesKeyWrap(kek, docKey);
    }
    if (!wrapped) return std::nullopt;
    std::memcpy(b.data() + kOffWrapped, wrapped->data(), kWrappedLength);
    std::string check = CheckValue(docKey, b);
    std::memcpy(b.data() + kOffCheck, check.data(), 16);
    return b;
}

bool CZtKeyRing::CreateEncryption(const CZtCredentials& c) {
    if (state_ != kUnencrypted || !c.Complete()) return false;
    auto key = DrawRandom(kDocKeyLength);
    if (!key) {
        Report(Msg::NoRandomSource);
        return false;
    }
    auto block = MakeBlock(c, *key);
    if (!block) return false;
    blocks_ = {std::move(*block)};
    current_ = 0;
    several_ = false;
    docKey_ = std::move(*key);
    state_ = kUnlocked;
    return true;
}

bool CZtKeyRing::ChangeCredentials(const CZtCredentials& current, const CZtCredentials& replacement) {
    if (!replacement.Complete() || !Verify(current)) return false;
    if (!several_) {
        // A single block: the encryption is made anew with a new document key.
        // The old one stays until the new block exists, so a failure keeps
        // the document encrypted as it was.
        auto key = DrawRandom(kDocKeyLength);
        if (!key) {
            Report(Msg::NoRandomSource);
            return false;
        }
        auto block = MakeBlock(replacement, *key);
        if (!block) return false;
        Clear();
        blocks_ = {std::move(*block)};
        docKey_ = std::move(*key);
        state_ = kUnlocked;
        return true;
    }
    auto existing = FindBlock(replacement);
    if (existing && *existing != current_) return false;
    auto block = MakeBlock(replacement, docKey_);
    if (!block) return false;
    WipeString(blocks_[current_]);
    blocks_[current_] = std::move(*block);
    return true;
}

bool CZtKeyRing::AddCredentials(const CZtCredentials& current, const CZtCredentials& added) {
    if (!added.Complete() || !Verify(current)) return false;
    if (blocks_.size() == 1 && !IsWrapped(blocks_[0])) {
        // A direct block is found by no name, so it cannot stay in an area of
        // several blocks: it becomes a wrapped block for the proven name and
        // password, around the same document key.
        if (!current.HasNamePassword() || (!added.keyObject && added.name == current.name)) return false;
        auto rebuilt = MakeBlock(current, docKey_);
        if (!rebuilt) return false;
        auto block = MakeBlock(added, docKey_);
        if (!block) {
            WipeString(*rebuilt);
            return false;
        }
        WipeString(blocks_[0]);
        blocks_ = {std::move(*rebuilt), std::move(*block)};
        current_ = 0;
        several_ = true;
        return true;
    }
    if (!Extensible() || blocks_.size() >= kMaxBlocks) return false;
    if (FindBlock(added)) return false;
    auto block = MakeBlock(added, docKey_);
    if (!block) return false;
    blocks_.push_back(std::move(*block));
    several_ = true;
    return true;
}

bool CZtKeyRing::RemoveCredentials(const CZtCredentials& current, const CZtCredentials& removed) {
    // Removing all encryption is its own operation, never the side effect of
    // an empty name.
    if (!removed.keyObject && removed.name.empty()) return false;
    if (!several_ || !Verify(current)) return false;
    auto index = FindBlock(removed);
    if (!index || *index == current_) return false;
    WipeString(blocks_[*index]);
    blocks_.erase(blocks_.begin() + std::ptrdiff_t(*index));
    if (*index < current_) --current_;
    several_ = blocks_.size() > 1;
    return true;
}

bool CZtKeyRing::RemoveEncryption(const CZtCredentials& current) {
    if (!Verify(current)) return false;
    Clear();
    return true;
}

bool CZtKeyRing::PrepareSave() {
    if (state_ != kUnlocked || blocks_.empty()) return false;
    std::vector<std::string> blocks = blocks_;
    if (blocks.size() == 1 && blocks[0].size() < kBlockSize) blocks[0].resize(kBlockSize, '\0');
    std::string& current = blocks[current_];
    char iv[16];
    bool drawn = (IsWrapped(current) || DrawRandom(current.data() + kOffIv, kBlockSize - kOffIv)) &&
                 DrawRandom(iv, sizeof iv);
    if (!drawn) {
        for (auto& b : blocks) WipeString(b);
        Report(Msg::NoRandomSource);
        return false;
    }
    for (auto& b : blocks) {
        Set(b, kOffMode, 2);
        std::memcpy(b.data() + kOffIv, iv, 16);
        std::string check = CheckValue(docKey_, b);
        std::memcpy(b.data() + kOffCheck, check.data(), 16);
    }
    for (auto& b : blocks_) WipeString(b);
    blocks_ = std::move(blocks);
    return true;
}

// ---- Streams ------------------------------------------------------------------

bool CZtKeyRing::BeginRead(uint64_t itemLength, RawReader reader) {
    if (streamKind_ != StreamKind::None || !reader) return false;
    if (Plain()) {
        plainReader_ = std::move(reader);
        plainRemaining_ = itemLength;
        plainFailed_ = false;
        streamKind_ = StreamKind::PlainRead;
        return true;
    }
    if (!Encrypting()) return false;
    const std::string& b = blocks_[current_];
    if (!ModeAllowed(b)) return false;
    if (!stream_.BeginRead(docKey_, Field(b, kOffIv, 16), int(Get(b, kOffMode)), itemLength, {},
                           std::move(reader)))
        return false;
    streamKind_ = StreamKind::Cipher;
    return true;
}

size_t CZtKeyRing::Read(void* out, size_t n) {
    if (streamKind_ == StreamKind::Cipher) return stream_.Read(out, n);
    if (streamKind_ != StreamKind::PlainRead || plainFailed_) return 0;
    size_t take = size_t(std::min<uint64_t>(n, plainRemaining_));
    if (take && !plainReader_(out, take)) {
        plainFailed_ = true;
        return 0;
    }
    plainHash_.Update(out, take);
    plainRemaining_ -= take;
    return take;
}

CZtCipherStream::End CZtKeyRing::EndRead() {
    using End = CZtCipherStream::End;
    End result = End::Failed;
    if (streamKind_ == StreamKind::Cipher) {
        result = stream_.EndRead();
        if (result == End::TagMismatch) Report(Msg::DataMacBad);
    } else if (streamKind_ == StreamKind::PlainRead) {
        char buf[4096];
        while (!plainFailed_ && plainRemaining_ > 0) Read(buf, sizeof buf);
        result = plainFailed_ ? End::Failed : End::Ok;
        plainReader_ = nullptr;
    }
    streamKind_ = StreamKind::None;
    return result;
}

bool CZtKeyRing::BeginWrite(RawWriter writer) {
    if (streamKind_ != StreamKind::None || !writer) return false;
    if (Plain()) {
        plainWriter_ = std::move(writer);
        streamKind_ = StreamKind::PlainWrite;
        return true;
    }
    if (!Encrypting() || !stream_.BeginWrite(docKey_, Field(blocks_[current_], kOffIv, 16), {}, std::move(writer)))
        return false;
    streamKind_ = StreamKind::Cipher;
    return true;
}

bool CZtKeyRing::Write(std::string_view bytes) {
    if (streamKind_ == StreamKind::Cipher) return stream_.Write(bytes);
    if (streamKind_ != StreamKind::PlainWrite) return false;
    plainHash_.Update(bytes);
    return plainWriter_(bytes.data(), bytes.size());
}

bool CZtKeyRing::EndWrite() {
    bool ok = false;
    if (streamKind_ == StreamKind::Cipher) {
        ok = stream_.EndWrite();
    } else if (streamKind_ == StreamKind::PlainWrite) {
        ok = true;
        plainWriter_ = nullptr;
    }
    streamKind_ = StreamKind::None;
    return ok;
}

SecureBytes CZtKeyRing::PlainDigest() const {
    Sha256Hasher copy = plainHash_;
    return copy.Final();
}

void CZtKeyRing::ResetPlainDigest() { plainHash_.Reset(); }

// ---- Items --------------------------------------------------------------------

std::unique_ptr<CZtKeyRing> CZtKeyRing::Clone() const {
    auto copy = std::make_unique<CZtKeyRing>(prompter_);
    copy->blocks_ = blocks_;
    copy->current_ = current_;
    copy->several_ = several_;
    copy->docKey_ = docKey_;
    copy->state_ = state_;
    return copy;
}

void CZtKeyRing::SwapKeys(CZtKeyRing& other) {
    std::swap(blocks_, other.blocks_);
    std::swap(current_, other.current_);
    std::swap(several_, other.several_);
    std::swap(docKey_, other.docKey_);
    std::swap(state_, other.state_);
    std::swap(bypass_, other.bypass_);
    stream_.Reset();
    other.stream_.Reset();
    streamKind_ = other.streamKind_ = StreamKind::None;
    plainReader_ = other.plainReader_ = nullptr;
    plainWriter_ = other.plainWriter_ = nullptr;
}

namespace {

RawWriter AppendTo(std::string& out) {
    return [&out](const void* p, size_t n) {
        out.append(static_cast<const char*>(p), n);
        return true;
    };
}

} // namespace

std::optional<std::string> CZtKeyRing::WriteItem(std::string_view tag, std::string_view bytes) const {
    if (Plain()) return std::string(bytes);
    if (!Encrypting() || (tag != "ZT07" && tag != "ZT08")) return std::nullopt;
    std::string out(tag);
    std::string iv(Field(blocks_[current_], kOffIv, 16));
    SecureBytes headerHash;
    if (tag == "ZT08") {
        // The item carries its own key area, saved with a fresh IV.
        auto copy = Clone();
        if (!copy->PrepareSave()) return std::nullopt;
        std::string area = copy->KeyArea();
        std::string header;
        PutLE32(header, uint32_t(area.size()));
        header += area;
        headerHash = Sha256(header);
        out += header;
        iv = Field(copy->blocks_[copy->current_], kOffIv, 16);
    }
    CZtCipherStream stream;
    if (!stream.BeginWrite(docKey_, iv, headerHash, AppendTo(out)) || !stream.Write(bytes) || !stream.EndWrite())
        return std::nullopt;
    return out;
}

bool CZtKeyRing::ReadPayload(std::string_view stored, std::string_view key, const std::string& block,
                             std::string_view headerHash, SecureBytes& out, bool* tagMismatch) const {
    if (!ModeAllowed(block)) return false;
    size_t pos = 0;
    RawReader reader = [&](void* p, size_t n) {
        if (stored.size() - pos < n) return false;
        std::memcpy(p, stored.data() + pos, n);
        pos += n;
        return true;
    };
    CZtCipherStream stream;
    if (!stream.BeginRead(key, Field(block, kOffIv, 16), int(Get(block, kOffMode)), stored.size(), headerHash,
                          std::move(reader)))
        return false;
    out = SecureBytes(size_t(stream.PayloadLength()));
    if (stream.Read(out.data(), out.size()) != out.size()) return false;
    switch (stream.EndRead()) {
    case CZtCipherStream::End::Ok: return true;
    case CZtCipherStream::End::TagMismatch:
        // Content that failed authentication is never handed out.
        out.clear();
        if (tagMismatch) *tagMismatch = true;
        Report(Msg::DataMacBad);
        return false;
    case CZtCipherStream::End::Failed: break;
    }
    out.clear();
    return false;
}

std::optional<SecureBytes> CZtKeyRing::ReadItem(std::string_view tag, std::string_view item,
                                                bool* tagMismatch) const {
    if (tagMismatch) *tagMismatch = false;
    if (Plain()) return SecureBytes(item);
    if (!Encrypting()) return std::nullopt;
    SecureBytes out;
    if (tag == "ZT07") {
        if (!ReadPayload(item, docKey_, blocks_[current_], {}, out, tagMismatch)) return std::nullopt;
        return out;
    }
    if (tag != "ZT08" || item.size() < 4) return std::nullopt;
    uint32_t length = GetLE32(item.data());
    if (length < 1 || length > kMaxItemKeyArea || item.size() - 4 < length) return std::nullopt;
    SecureBytes headerHash = Sha256(item.substr(0, 4 + length));
    CZtKeyRing copy;
    if (copy.LoadKeyArea(item.substr(4, length)) != 0) return std::nullopt;
    const std::string& block = copy.blocks_[copy.current_];
    if (!PassesCheck(docKey_, block)) return std::nullopt;
    if (!ReadPayload(item.substr(4 + length), docKey_, block, headerHash, out, tagMismatch)) return std::nullopt;
    return out;
}

} // namespace zt
