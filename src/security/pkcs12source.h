// A PKCS#12 key file as a key source: the file is read into memory that is
// wiped at release, opened with its password, and each certificate that has
// its private key in the file becomes a key object. The key objects encrypt
// to the certificate's public key and decrypt with the private key: RSA with
// PKCS #1 v1.5 ("1.2.840.113549.1.1.1") or OAEP with SHA-1
// ("1.2.840.113549.1.1.7"), ECIES over the curve of an elliptic-curve key
// ("1.2.840.10045.2.1").
#pragma once

#include "base/messages.h"
#include "security/certificate.h"
#include "security/keyobject.h"
#include "security/securebytes.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

inline constexpr std::string_view kOidRsaOaep = "1.2.840.113549.1.1.7";

// Files larger than this are not key files.
inline constexpr size_t kMaxKeyFileSize = 16 * 1024 * 1024;

class CZtPkcs12Source {
public:
    enum class Result { Ok, NotPfx, WrongPassword, NoCertificate };

    CZtPkcs12Source();
    ~CZtPkcs12Source();
    CZtPkcs12Source(const CZtPkcs12Source&) = delete;
    CZtPkcs12Source& operator=(const CZtPkcs12Source&) = delete;

    // Reads the file and checks that it is a PFX (no password needed yet).
    Result LoadFile(const std::string& path);
    // The same for bytes in memory.
    Result LoadBytes(std::string_view bytes);
    // Decrypts with the password (UTF-8) and builds the key objects. The
    // password is the caller's to wipe. NoCertificate: the file holds no
    // certificate with its private key.
    Result Open(std::string_view password);

    size_t Count() const;
    const CZtCertificateInfo& Certificate(size_t i) const;
    // Valid while the source lives and until Release.
    CZtKeyObject* KeyObject(size_t i) const;

    // Drops the key objects and wipes the file's bytes.
    void Release();

    // The message of a failed result.
    static Msg Message(Result r);

private:
    struct Entry;
    SecureBytes file_;
    std::vector<std::unique_ptr<Entry>> entries_;
};

// Makes a key object from a certificate and its PKCS#8 private key; nullptr
// when the key cannot be read or does not belong to the certificate.
std::unique_ptr<CZtKeyObject> MakePkcs12KeyObject(const CZtCertificateInfo& certificate,
                                                  std::string_view privateKeyInfo);

} // namespace zt
