// The keys and operations that seal the messages exchanged with the document
// server. Every message is encrypted and authenticated with keys derived from
// the account's user name and password; at login the password is proved by
// the one-way value HAUTH instead of being sent.
//
// User names, passwords and CADD are byte strings as typed (Latin-1). CRAND and
// MRAND are 64 upper-hex characters, CIPHER and MAC base64 texts. None of the
// functions keeps state; they may run on any thread.
#pragma once

#include "security/securebytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace zt {

// The per-account secret. With an empty CADD the 64 lower-hex characters of
// SHA-256("ZTpsk" || user || password) (the short form, which is also what a
// password change hands to the server); with a CADD the 32-byte long form.
SecureBytes ProtocolPsk(std::string_view cadd, std::string_view user, std::string_view password);

// KEYENC = SHA-256("ZTkeyenc" || PSK || CRAND) and
// KEYMAC = SHA-256("ZTkeymac" || PSK || MRAND).
SecureBytes ProtocolKeyEnc(std::string_view psk, std::string_view crand);
SecureBytes ProtocolKeyMac(std::string_view psk, std::string_view mrand);

struct SealedPayload {
    std::string cipher; // base64
    std::string crand;  // 64 upper-hex characters
};

// Encrypts `plaintext` under KEYENC for a freshly drawn CRAND (AES-256-CBC,
// zero IV, PKCS#7 padding). nullopt only when no random bytes can be had
// (Msg::NoRandomSource).
std::optional<SealedPayload> SealPayload(std::string_view plaintext, std::string_view user,
                                         std::string_view password, std::string_view cadd);
// The same with a given CRAND.
SealedPayload SealPayloadWith(std::string_view plaintext, std::string_view user, std::string_view password,
                              std::string_view cadd, std::string_view crand);

struct EnvelopeTag {
    std::string mac;   // 24 base64 characters
    std::string mrand; // 64 upper-hex characters
};

// The CBC-MAC of CIPHER || macData || MRAND under KEYMAC (AES-256-CBC, zero IV,
// PKCS#7 padding, last 16 bytes, base64). macData is user + "1" + CRAND with
// the local user name. A sender passes nullopt as `mrand` to have a fresh MRAND
// drawn; a receiver passes the MRAND it received. nullopt only when a fresh
// MRAND was asked for and no random bytes can be had.
std::optional<EnvelopeTag> EnvelopeMac(std::string_view cipher, std::string_view macData,
                                       std::string_view user, std::string_view password,
                                       std::string_view cadd, std::optional<std::string_view> mrand);

// Decrypts CIPHER with KEYENC of the received CRAND. nullopt when CIPHER is not
// valid base64, not a whole number of blocks, or its padding is bad. A wrong
// key mostly gives nullopt and otherwise garbage: the caller checks the MAC
// first.
std::optional<SecureBytes> OpenPayload(std::string_view cipher, std::string_view crand, std::string_view cadd,
                                       std::string_view user, std::string_view password);

// The same operations for a holder of the short PSK form only (the document
// server keeps that form, never the password). `ProtocolPskFromShort` gives the
// PSK for a CADD from the short form; the others take the PSK itself.
SecureBytes ProtocolPskFromShort(std::string_view cadd, std::string_view shortPsk);
SealedPayload SealPayloadWithPsk(std::string_view plaintext, std::string_view psk, std::string_view crand);
std::optional<SealedPayload> SealPayloadPsk(std::string_view plaintext, std::string_view psk);
std::optional<EnvelopeTag> EnvelopeMacPsk(std::string_view cipher, std::string_view macData, std::string_view psk,
                                          std::optional<std::string_view> mrand);
std::optional<SecureBytes> OpenPayloadPsk(std::string_view cipher, std::string_view crand, std::string_view psk);

// HAUTH = lower-hex(SHA-256("ZThauth" || user || password)), the login proof.
SecureBytes Hauth(std::string_view user, std::string_view password);

} // namespace zt
