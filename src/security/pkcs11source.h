// A PKCS#11 driver (a .so module loaded at run time) as a key source: the
// certificates of every token present, each with a key object that encrypts
// to the certificate's RSA public key (PKCS #1 v1.5) and decrypts on the
// token with CKM_RSA_PKCS. Tokens that require a login get the PIN before
// the first private-key operation; releasing logs out, closes the sessions,
// finalizes the driver and unloads it.
//
// Every driver call runs on a thread of its own and is waited for at most the
// call timeout (30 s): a driver that does not answer is given up (its calls
// refuse from then on, it is never unloaded, since its thread may still run
// in it) instead of freezing the program.
#pragma once

#include "security/certificate.h"
#include "security/keyobject.h"

#include <chrono>
#include <functional>
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

    // Loads the driver, checks its functions and initializes it. The
    // function table comes from C_GetFunctionList, or, for a driver that does
    // not export it, from the individually exported functions. False when the
    // module cannot be loaded, lacks a required function, fails C_Initialize
    // or does not answer in time.
    bool Load(const std::string& path);

    enum class Failure { None, NotLoadable, NoFunctions, InitFailed, NoSlots, TimedOut };
    Failure LastFailure() const;
    // The user's text for the last failure (UTF-8): the driver message with
    // the reason, or the message of a driver that did not answer.
    std::string FailureText() const;
    // Whether the driver was given up because a call did not return in time.
    bool TimedOut() const;
    const std::string& Path() const;

    // How long a single driver operation may take (default 30 s), and what to
    // call while waiting (every few ms; the program keeps its window drawn).
    void SetCallTimeout(std::chrono::milliseconds timeout);
    void SetWaitHook(std::function<void()> hook);
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
    // After a failed Login: whether the token refused because its PIN is locked.
    bool PinLocked() const;

    void Release();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace zt
