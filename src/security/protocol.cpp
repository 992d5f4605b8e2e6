#include "security/protocol.h"

#include "security/crypto.h"
#include "security/textforms.h"

#include <cstdio>

namespace zt {

namespace {

constexpr std::string_view kZeroIv("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16);

SecureBytes Concat(std::initializer_list<std::string_view> parts) {
    size_t total = 0;
    for (auto p : parts) total += p.size();
    SecureBytes out;
    out.resize(total);
    size_t at = 0;
    for (auto p : parts) {
        std::copy(p.begin(), p.end(), out.data() + at);
        at += p.size();
    }
    return out;
}

// 32 fresh random bytes as 64 upper-hex characters.
std::optional<std::string> DrawNonce() {
    auto bytes = DrawRandom(32);
    if (!bytes) return std::nullopt;
    return UpperHex(*bytes);
}

} // namespace

SecureBytes ProtocolPsk(std::string_view cadd, std::string_view user, std::string_view password) {
    SecureBytes h = SecureHex(Sha256(Concat({"ZTpsk", user, password})));
    if (cadd.empty()) return h;
    return ProtocolPskFromShort(cadd, h);
}

SecureBytes ProtocolPskFromShort(std::string_view cadd, std::string_view shortPsk) {
    if (cadd.empty()) return SecureBytes(shortPsk);
    // 999 further rounds, each appending the round number as 8 upper-hex digits;
    // the first round hashes the 64 hex characters, every later one the digest.
    SecureBytes x(shortPsk);
    for (unsigned n = 999; n >= 1; --n) {
        char number[9];
        std::snprintf(number, sizeof number, "%08X", n);
        x = Sha256(Concat({x, std::string_view(number, 8)}));
    }
    SecureBytes h2 = SecureHex(Sha256(x));
    return Sha256(Concat({"ZTkeyadd", h2, cadd}));
}

SecureBytes ProtocolKeyEnc(std::string_view psk, std::string_view crand) {
    return Sha256(Concat({"ZTkeyenc", psk, crand}));
}

SecureBytes ProtocolKeyMac(std::string_view psk, std::string_view mrand) {
    return Sha256(Concat({"ZTkeymac", psk, mrand}));
}

SealedPayload SealPayloadWithPsk(std::string_view plaintext, std::string_view psk, std::string_view crand) {
    SecureBytes key = ProtocolKeyEnc(psk, crand);
    auto cipher = AesCbcEncrypt(key, kZeroIv, plaintext, CbcPadding::Pkcs7);
    return {Base64Encode(*cipher), std::string(crand)};
}

SealedPayload SealPayloadWith(std::string_view plaintext, std::string_view user, std::string_view password,
                              std::string_view cadd, std::string_view crand) {
    return SealPayloadWithPsk(plaintext, ProtocolPsk(cadd, user, password), crand);
}

std::optional<SealedPayload> SealPayload(std::string_view plaintext, std::string_view user,
                                         std::string_view password, std::string_view cadd) {
    auto crand = DrawNonce();
    if (!crand) return std::nullopt;
    return SealPayloadWith(plaintext, user, password, cadd, *crand);
}

std::optional<SealedPayload> SealPayloadPsk(std::string_view plaintext, std::string_view psk) {
    auto crand = DrawNonce();
    if (!crand) return std::nullopt;
    return SealPayloadWithPsk(plaintext, psk, *crand);
}

std::optional<EnvelopeTag> EnvelopeMacPsk(std::string_view cipher, std::string_view macData, std::string_view psk,
                                          std::optional<std::string_view> mrand) {
    EnvelopeTag tag;
    if (mrand) {
        tag.mrand = std::string(*mrand);
    } else {
        auto drawn = DrawNonce();
        if (!drawn) return std::nullopt;
        tag.mrand = std::move(*drawn);
    }
    SecureBytes key = ProtocolKeyMac(psk, tag.mrand);
    std::string data;
    data.reserve(cipher.size() + macData.size() + tag.mrand.size());
    data.append(cipher).append(macData).append(tag.mrand);
    auto e = AesCbcEncrypt(key, kZeroIv, data, CbcPadding::Pkcs7);
    tag.mac = Base64Encode(std::string_view(*e).substr(e->size() - 16));
    return tag;
}

std::optional<EnvelopeTag> EnvelopeMac(std::string_view cipher, std::string_view macData,
                                       std::string_view user, std::string_view password,
                                       std::string_view cadd, std::optional<std::string_view> mrand) {
    return EnvelopeMacPsk(cipher, macData, ProtocolPsk(cadd, user, password), mrand);
}

std::optional<SecureBytes> OpenPayloadPsk(std::string_view cipher, std::string_view crand, std::string_view psk) {
    auto raw = Base64Decode(cipher);
    if (!raw) return std::nullopt;
    SecureBytes key = ProtocolKeyEnc(psk, crand);
    auto plain = AesCbcDecrypt(key, kZeroIv, *raw);
    if (!plain || !RemovePkcs7Padding(*plain)) return std::nullopt;
    return plain;
}

std::optional<SecureBytes> OpenPayload(std::string_view cipher, std::string_view crand, std::string_view cadd,
                                       std::string_view user, std::string_view password) {
    return OpenPayloadPsk(cipher, crand, ProtocolPsk(cadd, user, password));
}

SecureBytes Hauth(std::string_view user, std::string_view password) {
    return SecureHex(Sha256(Concat({"ZThauth", user, password})));
}

} // namespace zt
