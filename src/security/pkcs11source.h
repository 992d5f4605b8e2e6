// A PKCS#11 driver (a .so module loaded at run time) as a key source: the
// certificates of every token present, each with a key object that encrypts
// to the certificate's RSA public key (PKCS #1 v1.5) and decrypts on the
// token with CKM_RSA_PKCS. Tokens that require a login get the PIN before
// the first private-key operation; releasing logs out, closes the sessions,
// finalizes the driver and unloads it.
#pragma once

#include "security/certificate.h"
#include "security/keyobject.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

class CZtPkcs11Source {
public:
    CZtPkcs11Source();
    ~CZtPkcs11Source();
    CZtPkcs11Source(const CZtPkcs11Source&) = delete;
    CZtPkcs11Source& operator=(const CZtPkcs11Source&) = delete;

    // Loads the driver, checks its functions and initializes it. False when
    // the module cannot be loaded, lacks a required function or fails
    // C_Initialize.
    bool Load(const std::string& path);
    // Lists the certificates of the tokens present. False when the driver
    // reports no slots; an empty list is no error.
    bool ListCertificates();

    struct Entry {
        CZtCertificateInfo certificate;
        std::string tokenLabel;
        std::string label; // CKA_LABEL of the certificate
        std::string id;    // CKA_ID
        bool loginRequired = false;
    };
    size_t Count() const;
    const Entry& Certificate(size_t i) const;
    // The key object of entry `i`; valid until Release.
    CZtKeyObject* KeyObject(size_t i) const;
    // Logs in to the token of entry `i` with the PIN (the caller wipes it).
    bool Login(size_t i, std::string_view pin);

    void Release();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace zt
