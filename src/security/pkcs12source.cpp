#include "security/pkcs12source.h"

#include "security/pkcs12.h"

#include <crypto++/eccrypto.h>
#include <crypto++/filters.h>
#include <crypto++/oids.h>
#include <crypto++/osrng.h>
#include <crypto++/rsa.h>

#include <fstream>

namespace zt {

namespace {

using CryptoPP::byte;

constexpr unsigned kMaxRsaBits = 16384;

const byte* B(std::string_view s) { return reinterpret_cast<const byte*>(s.data()); }

CryptoPP::RandomNumberGenerator& Rng() {
    thread_local CryptoPP::AutoSeededRandomPool pool;
    return pool;
}

template <class Key>
bool Decode(Key& key, std::string_view der) {
    CryptoPP::StringSource src(B(der), der.size(), true);
    key.BERDecode(src);
    return src.AnyRetrievable() == false;
}

class Pkcs12KeyObject : public CZtKeyObject {
public:
    std::string PublicKeyAlgorithm() const override { return cert_.keyAlgorithm; }
    std::string PublicKeyBytes() const override { return cert_.publicKeyBytes; }

    std::optional<std::string> EncryptToPublicKey(std::string_view data, std::string_view oid) override {
        try {
            if (rsa_ && oid == kOidRsaEncryption) {
                CryptoPP::RSAES_PKCS1v15_Encryptor e(*rsaPublic_);
                return Encrypt(e, data);
            }
            if (rsa_ && oid == kOidRsaOaep) {
                CryptoPP::RSAES_OAEP_SHA_Encryptor e(*rsaPublic_);
                return Encrypt(e, data);
            }
            if (ec_ && oid == kOidEcPublicKey) {
                CryptoPP::ECIES<CryptoPP::ECP>::Encryptor e;
                e.AccessKey() = *ecPublic_;
                return Encrypt(e, data);
            }
        } catch (const CryptoPP::Exception&) {
        }
        return std::nullopt;
    }

    std::optional<SecureBytes> DecryptWithPrivateKey(std::string_view data, std::string_view oid) override {
        try {
            if (rsa_ && oid == kOidRsaEncryption) {
                CryptoPP::RSAES_PKCS1v15_Decryptor d(*rsa_);
                return Decrypt(d, data);
            }
            if (rsa_ && oid == kOidRsaOaep) {
                CryptoPP::RSAES_OAEP_SHA_Decryptor d(*rsa_);
                return Decrypt(d, data);
            }
            if (ec_ && oid == kOidEcPublicKey) {
                CryptoPP::ECIES<CryptoPP::ECP>::Decryptor d;
                d.AccessKey() = *ec_;
                return Decrypt(d, data);
            }
        } catch (const CryptoPP::Exception&) {
        }
        return std::nullopt;
    }

    static std::unique_ptr<CZtKeyObject> Make(const CZtCertificateInfo& cert, std::string_view pkcs8) {
        auto k = std::make_unique<Pkcs12KeyObject>();
        k->cert_ = cert;
        try {
            if (cert.keyAlgorithm == kOidRsaEncryption) {
                auto pub = std::make_unique<CryptoPP::RSA::PublicKey>();
                auto priv = std::make_unique<CryptoPP::RSA::PrivateKey>();
                if (!Decode(*pub, cert.spki) || !Decode(*priv, pkcs8)) return nullptr;
                if (pub->GetModulus().BitCount() > kMaxRsaBits || pub->GetModulus() != priv->GetModulus() ||
                    pub->GetPublicExponent() != priv->GetPublicExponent() || !priv->Validate(Rng(), 1))
                    return nullptr;
                k->rsaPublic_ = std::move(pub);
                k->rsa_ = std::move(priv);
                return k;
            }
            if (cert.keyAlgorithm == kOidEcPublicKey) {
                auto pub = std::make_unique<CryptoPP::DL_PublicKey_EC<CryptoPP::ECP>>();
                auto priv = std::make_unique<CryptoPP::DL_PrivateKey_EC<CryptoPP::ECP>>();
                if (!Decode(*pub, cert.spki) || !Decode(*priv, pkcs8)) return nullptr;
                if (!(pub->GetGroupParameters() == priv->GetGroupParameters()) || !priv->Validate(Rng(), 1) ||
                    !pub->Validate(Rng(), 1))
                    return nullptr;
                CryptoPP::DL_PublicKey_EC<CryptoPP::ECP> derived;
                priv->MakePublicKey(derived);
                if (!(derived.GetPublicElement() == pub->GetPublicElement())) return nullptr;
                k->ecPublic_ = std::move(pub);
                k->ec_ = std::move(priv);
                return k;
            }
        } catch (const CryptoPP::Exception&) {
        }
        return nullptr;
    }

private:
    template <class E>
    static std::optional<std::string> Encrypt(E& e, std::string_view data) {
        size_t n = e.CiphertextLength(data.size());
        if (n == 0 || (e.FixedMaxPlaintextLength() != 0 && data.size() > e.FixedMaxPlaintextLength()))
            return std::nullopt;
        std::string out(n, '\0');
        e.Encrypt(Rng(), B(data), data.size(), reinterpret_cast<byte*>(out.data()));
        return out;
    }

    template <class D>
    static std::optional<SecureBytes> Decrypt(D& d, std::string_view data) {
        if (data.empty() || (d.FixedCiphertextLength() != 0 && data.size() != d.FixedCiphertextLength()))
            return std::nullopt;
        size_t max = d.MaxPlaintextLength(data.size());
        if (max == 0) return std::nullopt;
        SecureBytes out(max);
        CryptoPP::DecodingResult r = d.Decrypt(Rng(), B(data), data.size(), out.data());
        if (!r.isValidCoding || r.messageLength > max) return std::nullopt;
        out.resize(r.messageLength);
        return out;
    }

    CZtCertificateInfo cert_;
    std::unique_ptr<CryptoPP::RSA::PublicKey> rsaPublic_;
    std::unique_ptr<CryptoPP::RSA::PrivateKey> rsa_;
    std::unique_ptr<CryptoPP::DL_PublicKey_EC<CryptoPP::ECP>> ecPublic_;
    std::unique_ptr<CryptoPP::DL_PrivateKey_EC<CryptoPP::ECP>> ec_;
};

} // namespace

std::unique_ptr<CZtKeyObject> MakePkcs12KeyObject(const CZtCertificateInfo& certificate,
                                                  std::string_view privateKeyInfo) {
    return Pkcs12KeyObject::Make(certificate, privateKeyInfo);
}

struct CZtPkcs12Source::Entry {
    CZtCertificateInfo certificate;
    std::unique_ptr<CZtKeyObject> key;
};

CZtPkcs12Source::CZtPkcs12Source() = default;
CZtPkcs12Source::~CZtPkcs12Source() { Release(); }

CZtPkcs12Source::Result CZtPkcs12Source::LoadFile(const std::string& path) {
    Release();
    std::ifstream in(path, std::ios::binary);
    if (!in) return Result::NotPfx;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size <= 0 || size_t(size) > kMaxKeyFileSize) return Result::NotPfx;
    in.seekg(0);
    SecureBytes bytes{size_t(size)};
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return Result::NotPfx;
    if (!LooksLikePfx(bytes)) return Result::NotPfx;
    file_ = std::move(bytes);
    return Result::Ok;
}

CZtPkcs12Source::Result CZtPkcs12Source::LoadBytes(std::string_view bytes) {
    Release();
    if (bytes.size() > kMaxKeyFileSize || !LooksLikePfx(bytes)) return Result::NotPfx;
    file_ = SecureBytes(bytes);
    return Result::Ok;
}

CZtPkcs12Source::Result CZtPkcs12Source::Open(std::string_view password) {
    entries_.clear();
    if (file_.empty()) return Result::NotPfx;
    CZtPfxContent content;
    PfxResult r = ReadPfx(file_, password, content);
    if (r == PfxResult::NotPfx) return Result::NotPfx;
    if (r == PfxResult::WrongPassword) return Result::WrongPassword;
    for (auto& cert : content.certificates) {
        // Keys and certificates belong together by their localKeyId; the key
        // must also fit the certificate's public key.
        std::unique_ptr<CZtKeyObject> key;
        for (int pass = 0; pass < 2 && !key; ++pass)
            for (auto& k : content.keys) {
                bool idMatch = !cert.localKeyId.empty() && cert.localKeyId == k.localKeyId;
                if ((pass == 0) != idMatch) continue;
                if ((key = MakePkcs12KeyObject(cert.info, k.privateKeyInfo))) break;
            }
        if (!key) continue; // a certificate of the chain without its key
        auto e = std::make_unique<Entry>();
        e->certificate = std::move(cert.info);
        e->key = std::move(key);
        entries_.push_back(std::move(e));
    }
    return entries_.empty() ? Result::NoCertificate : Result::Ok;
}

size_t CZtPkcs12Source::Count() const { return entries_.size(); }
const CZtCertificateInfo& CZtPkcs12Source::Certificate(size_t i) const { return entries_.at(i)->certificate; }
CZtKeyObject* CZtPkcs12Source::KeyObject(size_t i) const { return entries_.at(i)->key.get(); }

void CZtPkcs12Source::Release() {
    entries_.clear();
    file_.clear();
}

Msg CZtPkcs12Source::Message(Result r) {
    switch (r) {
    case Result::WrongPassword: return Msg::KeyFileWrongPassword;
    case Result::NoCertificate: return Msg::KeyFileNoCertificate;
    default: return Msg::KeyFileNotPfx;
    }
}

} // namespace zt
