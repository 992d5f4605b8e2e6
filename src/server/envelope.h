// The sealed envelope around every request and answer: the text is encrypted
// under keys derived from the account's PSK and authenticated with a MAC, and
// wrapped in a one-line XML text.
//
// The program seals with its user name and password; the document server,
// which keeps only the short PSK form, seals with the PSK derived from it.
#pragma once

#include "base/xml.h"

#include <optional>
#include <string>
#include <string_view>

namespace zt::srv {

// The header value that marks protocol answers ("Zettrix: ZTXML2"), and the
// headers every request carries.
inline constexpr std::string_view kAnswerMarkerHeader = "Zettrix";
inline constexpr std::string_view kAnswerMarkerValue = "ZTXML2";
inline constexpr std::string_view kRequestContentType = "text/xml";
inline constexpr std::string_view kRequestMarkerHeader = "Zettrix";
inline constexpr std::string_view kRequestMarkerValue = "XML2";
inline constexpr std::string_view kDefaultScriptPath = "ztweb/ztDB.php";

// True when raw answer headers (CR LF separated) hold the answer marker.
bool HasAnswerMarker(std::string_view rawHeaders);

// The pieces of an envelope.
struct EnvelopeParts {
    std::string ztident;
    std::string user; // unescaped
    std::string cadd;
    bool hasCadd = false;
    std::string crand, cipher, mrand, mac;
    // An unsealed refusal: ERROR_MSG inside CRYPTO.
    bool hasError = false;
    int errnum = -1;
    std::string errorText;
};

// Client side: seals `text` for `user` with `password`; CADD is the UTC time
// now. Empty only when no random bytes can be had.
std::string BuildEnvelope(std::string_view text, std::string_view ident, std::string_view user,
                          std::string_view password);
// The same with the PSK for `cadd` already derived (the server passes the PSK
// it derived from the short form for the request's CADD).
std::string BuildEnvelopeWithPsk(std::string_view text, std::string_view ident, std::string_view user,
                                 std::string_view psk, std::string_view cadd, bool writeCadd);

// An unsealed refusal: ERROR_MSG with its errno inside CRYPTO.
std::string BuildErrorEnvelope(std::string_view ident, int errnum, std::string_view text);

// Server side, strict: the declaration (optional), the XML_ZETTRIX root with
// ZTIDENT and VERSION 2, and CRYPTO holding exactly USER, ALG "1", CADD,
// CRAND, CIPHER, MRAND and MAC in this order, with their forms checked.
bool ReadRequestEnvelope(std::string_view text, EnvelopeParts& parts, std::string& error);

// True when the MAC of `parts` is right for `psk` (the PSK for its CADD) and
// the local user name `user`.
bool VerifyEnvelope(const EnvelopeParts& parts, std::string_view user, std::string_view psk);
// The decrypted text; nullopt when the cipher does not decrypt.
std::optional<std::string> OpenEnvelope(const EnvelopeParts& parts, std::string_view psk);

// Client side: opening an answer.
struct OpenedAnswer {
    xml::Document document; // the answer document (inner text, or the outer text when not sealed)
    bool sealed = false;
    int errnum = -1;        // of an unsealed ERROR_MSG
    std::string error;      // empty on success; the server's text for an ERROR_MSG
    bool serverError = false;
};
// Checks the marker, parses, finds CRYPTO, refuses an ERROR_MSG inside it,
// checks the pieces and the MAC and decrypts. An answer without CRYPTO is
// refused unless `allowUnsealed` (it would be unauthenticated).
bool OpenAnswer(std::string_view answer, std::string_view rawHeaders, std::string_view user,
                std::string_view password, OpenedAnswer& out, bool allowUnsealed = false);

} // namespace zt::srv
