#include "security/cipherstream.h"

#include "security/crypto.h"

#include <cryptopp/aes.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <cstring>

namespace zt {

struct CZtCipherStream::Impl {
    enum class Direction { Idle, Writing, Reading } direction = Direction::Idle;
    int mode = 2;
    size_t chunk = kChunkMode2;
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption enc;
    CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption dec;
    CryptoPP::HMAC<CryptoPP::SHA256> mac;
    SecureBytes key;
    SecureBytes iv; // mode 1: the IV of the last chunk
    RawWriter writer;
    RawReader reader;
    SecureBytes plain;  // one chunk of plaintext
    std::string cipher; // one chunk of ciphertext
    size_t fill = 0;    // writing: plaintext bytes gathered
    // reading
    uint64_t payload = 0;   // ciphertext bytes before the tag
    uint64_t consumed = 0;  // ciphertext bytes read so far
    uint64_t handedOut = 0; // plaintext bytes given to the caller
    size_t bufPos = 0, bufLen = 0;
    bool failed = false;

    void StartMac(std::string_view docKey, std::string_view headerHash) {
        SecureBytes macKey = Sha256(docKey);
        mac.SetKey(macKey.data(), macKey.size());
        if (!headerHash.empty())
            mac.Update(reinterpret_cast<const CryptoPP::byte*>(headerHash.data()), headerHash.size());
    }

    bool FlushChunk() {
        size_t padded = (fill + kAesBlockSize - 1) / kAesBlockSize * kAesBlockSize;
        if (padded == 0) return true;
        if (plain.size() < padded) plain.resize(padded);
        std::memset(plain.data() + fill, 0, padded - fill);
        cipher.resize(padded);
        auto c = reinterpret_cast<CryptoPP::byte*>(cipher.data());
        enc.ProcessData(c, plain.data(), padded);
        mac.Update(c, padded);
        fill = 0;
        return writer(c, padded);
    }

    size_t NextChunkLength() const { return size_t(std::min<uint64_t>(chunk, payload - consumed)); }

    // Reads and decrypts the next chunk into `target` (which holds
    // NextChunkLength() bytes), or into the plaintext buffer.
    bool LoadChunk(uint8_t* target = nullptr) {
        size_t len = NextChunkLength();
        cipher.resize(len);
        if (!target && plain.size() < len) plain.resize(len);
        if (!reader(cipher.data(), len)) {
            failed = true;
            return false;
        }
        auto c = reinterpret_cast<const CryptoPP::byte*>(cipher.data());
        if (mode == 2) {
            mac.Update(c, len);
        } else {
            iv[0] = uint8_t(iv[0] + 1);
            dec.Resynchronize(iv.data(), int(iv.size()));
        }
        dec.ProcessData(target ? target : plain.data(), c, len);
        consumed += len;
        bufPos = 0;
        bufLen = target ? 0 : len;
        return true;
    }
};

CZtCipherStream::CZtCipherStream() : impl_(std::make_unique<Impl>()) {}
CZtCipherStream::~CZtCipherStream() = default;

bool CZtCipherStream::Active() const { return impl_->direction != Impl::Direction::Idle; }

void CZtCipherStream::Reset() { impl_ = std::make_unique<Impl>(); }

bool CZtCipherStream::BeginWrite(std::string_view key, std::string_view iv, std::string_view headerHash,
                                 RawWriter writer) {
    Reset();
    if (key.size() != kAesKeySize || iv.size() != kAesBlockSize || !writer) return false;
    Impl& s = *impl_;
    s.key = SecureBytes(key);
    s.enc.SetKeyWithIV(s.key.data(), s.key.size(), reinterpret_cast<const CryptoPP::byte*>(iv.data()),
                       iv.size());
    s.StartMac(key, headerHash);
    s.writer = std::move(writer);
    s.direction = Impl::Direction::Writing;
    return true;
}

bool CZtCipherStream::Write(std::string_view data) {
    Impl& s = *impl_;
    if (s.direction != Impl::Direction::Writing) return false;
    while (!data.empty()) {
        size_t take = std::min(s.chunk - s.fill, data.size());
        if (s.plain.size() < s.fill + take) s.plain.resize(std::min(s.chunk, std::max(2 * s.plain.size(), s.fill + take)));
        std::memcpy(s.plain.data() + s.fill, data.data(), take);
        s.fill += take;
        data.remove_prefix(take);
        if (s.fill == s.chunk && !s.FlushChunk()) return false;
    }
    return true;
}

bool CZtCipherStream::EndWrite() {
    Impl& s = *impl_;
    if (s.direction != Impl::Direction::Writing) return false;
    bool ok = s.FlushChunk();
    if (ok) {
        CryptoPP::byte tag[CryptoPP::SHA256::DIGESTSIZE];
        s.mac.Final(tag);
        ok = s.writer(tag, kTagSize);
    }
    Reset();
    return ok;
}

bool CZtCipherStream::BeginRead(std::string_view key, std::string_view iv, int mode, uint64_t itemLength,
                                std::string_view headerHash, RawReader reader) {
    Reset();
    if (key.size() != kAesKeySize || iv.size() != kAesBlockSize || !reader) return false;
    if (mode != 1 && mode != 2) return false;
    uint64_t payload = itemLength;
    if (mode == 2) {
        if (itemLength < kTagSize) return false;
        payload -= kTagSize;
    }
    if (payload % kAesBlockSize) return false;
    Impl& s = *impl_;
    s.mode = mode;
    s.chunk = mode == 2 ? kChunkMode2 : kChunkMode1;
    s.key = SecureBytes(key);
    s.iv = SecureBytes(iv);
    s.dec.SetKeyWithIV(s.key.data(), s.key.size(), s.iv.data(), s.iv.size());
    if (mode == 2) s.StartMac(key, headerHash);
    s.reader = std::move(reader);
    s.payload = payload;
    s.direction = Impl::Direction::Reading;
    return true;
}

uint64_t CZtCipherStream::PayloadLength() const { return impl_->payload; }
uint64_t CZtCipherStream::Remaining() const { return impl_->payload - impl_->handedOut; }
bool CZtCipherStream::Failed() const { return impl_->failed; }

size_t CZtCipherStream::Read(void* out, size_t n) {
    Impl& s = *impl_;
    if (s.direction != Impl::Direction::Reading) return 0;
    auto dst = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < n && !s.failed) {
        if (s.bufPos == s.bufLen) {
            if (s.consumed == s.payload) break;
            // A whole chunk the caller takes is decrypted straight into its buffer.
            size_t next = s.NextChunkLength();
            if (n - done >= next) {
                if (!s.LoadChunk(dst + done)) break;
                done += next;
                continue;
            }
            if (!s.LoadChunk()) break;
        }
        size_t take = std::min(n - done, s.bufLen - s.bufPos);
        std::memcpy(dst + done, s.plain.data() + s.bufPos, take);
        s.bufPos += take;
        done += take;
    }
    s.handedOut += done;
    return done;
}

CZtCipherStream::End CZtCipherStream::EndRead() {
    Impl& s = *impl_;
    if (s.direction != Impl::Direction::Reading) return End::Failed;
    while (!s.failed && s.consumed < s.payload) s.LoadChunk();
    End result = End::Ok;
    if (s.failed) {
        result = End::Failed;
    } else if (s.mode == 2) {
        CryptoPP::byte stored[kTagSize], computed[CryptoPP::SHA256::DIGESTSIZE];
        if (!s.reader(stored, kTagSize)) {
            result = End::Failed;
        } else {
            s.mac.Final(computed);
            bool same = ConstantTimeEqual(std::string_view(reinterpret_cast<char*>(stored), kTagSize),
                                          std::string_view(reinterpret_cast<char*>(computed), kTagSize));
            result = same ? End::Ok : End::TagMismatch;
        }
    }
    Reset();
    return result;
}

} // namespace zt
