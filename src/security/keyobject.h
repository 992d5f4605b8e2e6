// A certificate with access to its private key, as the document key ring uses
// it: the ring identifies a certificate by its public key, encrypts a
// key-encryption key to it and has the private key decrypt that again. The
// key sources (key files, tokens) provide the implementations.
#pragma once

#include "security/securebytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace zt {

inline constexpr std::string_view kOidRsaEncryption = "1.2.840.113549.1.1.1";
inline constexpr std::string_view kOidEcPublicKey = "1.2.840.10045.2.1";

class CZtKeyObject {
public:
    virtual ~CZtKeyObject() = default;

    // The OID of the certificate's public-key algorithm.
    virtual std::string PublicKeyAlgorithm() const = 0;
    // The certificate's public-key bytes; their SHA-256 is the identity that
    // key blocks are tagged with.
    virtual std::string PublicKeyBytes() const = 0;
    // Encrypts `data` to the certificate's public key under the algorithm
    // `oid` (kOidRsaEncryption or kOidEcPublicKey); nullopt on failure.
    virtual std::optional<std::string> EncryptToPublicKey(std::string_view data, std::string_view oid) = 0;
    // Decrypts with the private key under the algorithm `oid`; nullopt on failure.
    virtual std::optional<SecureBytes> DecryptWithPrivateKey(std::string_view data, std::string_view oid) = 0;
};

} // namespace zt
