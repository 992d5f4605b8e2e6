#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include "security/pbe.h"

#include "security/crypto.h"
#include "security/der.h"

#include <crypto++/aes.h>
#include <crypto++/arc4.h>
#include <crypto++/des.h>
#include <crypto++/modes.h>
#include <crypto++/pwdbased.h>
#include <crypto++/rc2.h>
#include <crypto++/sha.h>

#include <memory>
#include <string>

namespace zt {

namespace {

// Decrypts whole blocks in CBC mode and removes PKCS#5 padding.
std::optional<SecureBytes> CbcDecrypt(CryptoPP::BlockCipher& cipher, std::string_view iv, std::string_view in) {
    const size_t bs = cipher.BlockSize();
    if (iv.size() != bs || in.empty() || in.size() % bs) return std::nullopt;
    SecureBytes out(in.size());
    CryptoPP::CBC_Mode_ExternalCipher::Decryption cbc(cipher, reinterpret_cast<const CryptoPP::byte*>(iv.data()));
    cbc.ProcessData(out.data(), reinterpret_cast<const CryptoPP::byte*>(in.data()), in.size());
    uint8_t n = out[out.size() - 1];
    if (n == 0 || n > bs) return std::nullopt;
    for (size_t i = out.size() - n; i < out.size(); ++i)
        if (out[i] != n) return std::nullopt;
    out.resize(out.size() - n);
    return out;
}

const CryptoPP::byte* B(std::string_view s) { return reinterpret_cast<const CryptoPP::byte*>(s.data()); }

// pbeWithSHAAnd... (1.2.840.113549.1.12.1.n): params SEQUENCE { salt, iterations }.
std::optional<SecureBytes> Pkcs12Pbe(int n, der::Reader& params, std::string_view password,
                                     std::string_view cipher) {
    auto seq = params.Next(der::kSequence);
    if (!seq) return std::nullopt;
    der::Reader p = der::Inside(*seq, params);
    auto saltEl = p.Next(der::kOctetString);
    auto iterEl = p.Next(der::kInteger);
    if (!saltEl || !iterEl) return std::nullopt;
    auto iterations = der::SmallInteger(*iterEl);
    if (!iterations || *iterations == 0 || *iterations > kMaxPbeIterations) return std::nullopt;
    std::string_view salt = saltEl->content;
    SecureBytes bmp = BmpPassword(password);
    auto derive = [&](uint8_t id, size_t len) { return Pkcs12DeriveKey(Pkcs12Hash::Sha1, bmp, salt, id, uint32_t(*iterations), len); };
    switch (n) {
    case 1:
    case 2: { // RC4 128 and 40 bits
        SecureBytes key = derive(1, n == 1 ? 16 : 5);
        CryptoPP::Weak::ARC4 rc4(key.data(), key.size());
        SecureBytes out(cipher.size());
        rc4.ProcessData(out.data(), B(cipher), cipher.size());
        return out;
    }
    case 3: {
        SecureBytes key = derive(1, 24), iv = derive(2, 8);
        CryptoPP::DES_EDE3::Decryption des(key.data(), key.size());
        return CbcDecrypt(des, iv, cipher);
    }
    case 4: {
        SecureBytes key = derive(1, 16), iv = derive(2, 8);
        CryptoPP::DES_EDE2::Decryption des(key.data(), key.size());
        return CbcDecrypt(des, iv, cipher);
    }
    case 5:
    case 6: {
        size_t len = n == 5 ? 16 : 5;
        SecureBytes key = derive(1, len), iv = derive(2, 8);
        CryptoPP::RC2::Decryption rc2(key.data(), key.size(), int(len * 8));
        return CbcDecrypt(rc2, iv, cipher);
    }
    default:
        return std::nullopt;
    }
}

// PBES2 (1.2.840.113549.1.5.13) with PBKDF2.
std::optional<SecureBytes> Pbes2(der::Reader& params, std::string_view password, std::string_view cipher) {
    auto seq = params.Next(der::kSequence);
    if (!seq) return std::nullopt;
    der::Reader p = der::Inside(*seq, params);
    auto kdf = p.Next(der::kSequence);
    auto scheme = p.Next(der::kSequence);
    if (!kdf || !scheme) return std::nullopt;

    der::Reader k = der::Inside(*kdf, p);
    auto kdfOid = k.Next(der::kOid);
    auto kdfParams = k.Next(der::kSequence);
    if (!kdfOid || !kdfParams || der::OidText(kdfOid->content) != "1.2.840.113549.1.5.12") return std::nullopt;
    der::Reader kp = der::Inside(*kdfParams, k);
    auto salt = kp.Next(der::kOctetString);
    auto iterEl = kp.Next(der::kInteger);
    if (!salt || !iterEl) return std::nullopt;
    auto iterations = der::SmallInteger(*iterEl);
    if (!iterations || *iterations == 0 || *iterations > kMaxPbeIterations) return std::nullopt;
    std::optional<uint64_t> keyLength;
    if (kp.Peek(der::kInteger)) {
        keyLength = der::SmallInteger(*kp.Next());
        if (!keyLength) return std::nullopt;
    }
    bool sha256 = false;
    if (auto prf = kp.Next(der::kSequence)) {
        der::Reader pr = der::Inside(*prf, kp);
        auto prfOid = pr.Next(der::kOid);
        if (!prfOid) return std::nullopt;
        std::string o = der::OidText(prfOid->content);
        if (o == "1.2.840.113549.2.9") sha256 = true;
        else if (o != "1.2.840.113549.2.7") return std::nullopt;
    }

    der::Reader s = der::Inside(*scheme, p);
    auto encOid = s.Next(der::kOid);
    auto ivEl = s.Next(der::kOctetString);
    if (!encOid || !ivEl) return std::nullopt;
    std::string enc = der::OidText(encOid->content);
    size_t keySize = enc == "2.16.840.1.101.3.4.1.2" ? 16 : enc == "2.16.840.1.101.3.4.1.22" ? 24
                   : enc == "2.16.840.1.101.3.4.1.42" ? 32 : enc == "1.2.840.113549.3.7" ? 24 : 0;
    if (keySize == 0 || (keyLength && *keyLength != keySize)) return std::nullopt;
    SecureBytes key = sha256 ? Pbkdf2HmacSha256(password, salt->content, uint32_t(*iterations), keySize)
                             : Pbkdf2HmacSha1(password, salt->content, uint32_t(*iterations), keySize);
    if (enc == "1.2.840.113549.3.7") {
        CryptoPP::DES_EDE3::Decryption des(key.data(), key.size());
        return CbcDecrypt(des, ivEl->content, cipher);
    }
    CryptoPP::AES::Decryption aes(key.data(), key.size());
    return CbcDecrypt(aes, ivEl->content, cipher);
}

} // namespace

SecureBytes BmpPassword(std::string_view pw) {
    SecureBytes out;
    auto put = [&out](uint32_t cp) {
        uint8_t b[2] = {uint8_t(cp >> 8), uint8_t(cp)};
        out.append(std::string_view(reinterpret_cast<char*>(b), 2));
    };
    bool utf8 = true;
    SecureBytes units;
    for (size_t i = 0; i < pw.size() && utf8;) {
        uint8_t b = uint8_t(pw[i]);
        size_t n = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : 9;
        if (n == 9 || pw.size() - i <= n) {
            utf8 = false;
            break;
        }
        uint32_t cp = n == 0 ? b : n == 1 ? (b & 0x1F) : (b & 0x0F);
        for (size_t k = 1; k <= n; ++k) {
            uint8_t c = uint8_t(pw[i + k]);
            if ((c & 0xC0) != 0x80) utf8 = false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800)) utf8 = false;
        i += n + 1;
    }
    if (utf8) {
        for (size_t i = 0; i < pw.size();) {
            uint8_t b = uint8_t(pw[i]);
            size_t n = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : 2;
            uint32_t cp = n == 0 ? b : n == 1 ? (b & 0x1F) : (b & 0x0F);
            for (size_t k = 1; k <= n; ++k) cp = (cp << 6) | (uint8_t(pw[i + k]) & 0x3F);
            put(cp);
            i += n + 1;
        }
    } else {
        for (char c : pw) put(uint8_t(c));
    }
    put(0);
    return out;
}

SecureBytes Pkcs12DeriveKey(Pkcs12Hash hash, std::string_view bmp, std::string_view salt, uint8_t id,
                            uint32_t iterations, size_t length) {
    SecureBytes out(length);
    if (hash == Pkcs12Hash::Sha1) {
        CryptoPP::PKCS12_PBKDF<CryptoPP::SHA1> kdf;
        kdf.DeriveKey(out.data(), length, id, B(bmp), bmp.size(), B(salt), salt.size(), iterations, 0);
    } else {
        CryptoPP::PKCS12_PBKDF<CryptoPP::SHA256> kdf;
        kdf.DeriveKey(out.data(), length, id, B(bmp), bmp.size(), B(salt), salt.size(), iterations, 0);
    }
    return out;
}

std::optional<SecureBytes> PbeDecrypt(std::string_view algorithm, std::string_view password,
                                      std::string_view cipher) {
    try {
        der::Reader top(algorithm, 1);
        auto alg = top.Next(der::kSequence);
        if (!alg) return std::nullopt;
        der::Reader a = der::Inside(*alg, top);
        auto oid = a.Next(der::kOid);
        if (!oid) return std::nullopt;
        std::string o = der::OidText(oid->content);
        const std::string prefix = "1.2.840.113549.1.12.1.";
        if (o.size() == prefix.size() + 1 && o.compare(0, prefix.size(), prefix) == 0 && o.back() >= '1' &&
            o.back() <= '6')
            return Pkcs12Pbe(o.back() - '0', a, password, cipher);
        if (o == "1.2.840.113549.1.5.13") return Pbes2(a, password, cipher);
        return std::nullopt;
    } catch (const CryptoPP::Exception&) {
        return std::nullopt;
    }
}

} // namespace zt
