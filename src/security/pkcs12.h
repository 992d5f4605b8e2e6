// The reader of PKCS#12 key files (PFX): the integrity MAC (HMAC over SHA-1
// or SHA-256 with the PKCS#12 key derivation) is checked before any content
// is used; then the authenticated safe is walked, encrypted content infos are
// decrypted with the password, and the certificates and private keys of its
// bags are collected.
#pragma once

#include "security/certificate.h"
#include "security/securebytes.h"

#include <string>
#include <string_view>
#include <vector>

namespace zt {

struct CZtPfxContent {
    struct Certificate {
        CZtCertificateInfo info;
        std::string localKeyId;
    };
    struct Key {
        SecureBytes privateKeyInfo; // PKCS#8 PrivateKeyInfo, DER
        std::string localKeyId;
    };
    std::vector<Certificate> certificates;
    std::vector<Key> keys;
};

enum class PfxResult {
    Ok,
    NotPfx,        // not a PKCS#12 file, or damaged
    WrongPassword, // the MAC does not match, or the content does not decrypt
};

// Whether `bytes` have the outer structure of a PFX (no password needed).
bool LooksLikePfx(std::string_view bytes);

// Reads the file's certificates and keys with `password` (UTF-8).
PfxResult ReadPfx(std::string_view bytes, std::string_view password, CZtPfxContent& out);

} // namespace zt
