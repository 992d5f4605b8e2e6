#include "server/envelope.h"

#include "security/protocol.h"
#include "security/securebytes.h"
#include "server/wire.h"

#include <ctime>

namespace zt::srv {

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"Latin1\" ?>";

bool IsHex64Upper(std::string_view s) {
    if (s.size() != 64) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

bool IsBase64Text(std::string_view s) {
    if (s.empty() || s.size() % 4) return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
              c == '='))
            return false;
    return true;
}

// The single element named `name` inside `crypto` at any depth.
const xml::Node* One(const xml::Node& crypto, std::string_view name) {
    auto found = xml::FindElements(crypto, name, -1);
    return found.size() == 1 ? found[0] : nullptr;
}

} // namespace

bool HasAnswerMarker(std::string_view rawHeaders) { return rawHeaders.find("ZTXML2\r\n") != std::string_view::npos; }

std::string BuildEnvelopeWithPsk(std::string_view text, std::string_view ident, std::string_view user,
                                 std::string_view psk, std::string_view cadd, bool writeCadd) {
    auto sealed = SealPayloadPsk(text, psk);
    if (!sealed) return {};
    std::string macData;
    macData.append(user).append("1").append(sealed->crand);
    auto tag = EnvelopeMacPsk(sealed->cipher, macData, psk, std::nullopt);
    if (!tag) return {};
    std::string out;
    out.reserve(sealed->cipher.size() + 512);
    out += kDeclaration;
    out += "<XML_ZETTRIX ZTIDENT=\"";
    AppendEscaped(out, ident);
    out += "\" VERSION=\"2\"><CRYPTO><USER>";
    AppendEscaped(out, user);
    out += "</USER><ALG>1</ALG>";
    if (writeCadd) {
        out += "<CADD>";
        AppendEscaped(out, cadd);
        out += "</CADD>";
    }
    out += "<CRAND>" + sealed->crand + "</CRAND><CIPHER>" + sealed->cipher + "</CIPHER><MRAND>" + tag->mrand +
           "</MRAND><MAC>" + tag->mac + "</MAC></CRYPTO></XML_ZETTRIX>";
    return out;
}

std::string BuildEnvelope(std::string_view text, std::string_view ident, std::string_view user,
                          std::string_view password) {
    std::string cadd = CtimeText(int64_t(std::time(nullptr)), true);
    SecureBytes psk = ProtocolPsk(cadd, user, password);
    return BuildEnvelopeWithPsk(text, ident, user, psk, cadd, true);
}

std::string BuildErrorEnvelope(std::string_view ident, int errnum, std::string_view text) {
    std::string out(kDeclaration);
    out += "<XML_ZETTRIX ZTIDENT=\"";
    AppendEscaped(out, ident);
    out += "\" VERSION=\"2\"><CRYPTO><ERROR_MSG errno=\"" + std::to_string(errnum) + "\">";
    AppendEscaped(out, text);
    out += "</ERROR_MSG></CRYPTO></XML_ZETTRIX>";
    return out;
}

bool ReadRequestEnvelope(std::string_view text, EnvelopeParts& parts, std::string& error) {
    parts = {};
    xml::Document doc = xml::Parse(text);
    if (doc.LimitReached()) {
        error = "envelope too large";
        return false;
    }
    const xml::Node* top = FrameTop(doc, error);
    if (!top) return false;
    CStrictReader rootReader(*top, error);
    const xml::Node* root = rootReader.Take("XML_ZETTRIX");
    if (!rootReader.End() || !root) return false;
    if (!xml::IsEnvelopeRoot(doc, root, 2, false)) {
        error = "incomplete envelope";
        return false;
    }
    if (!CheckAttributes(*root, {{"ZTIDENT", nullptr}, {"VERSION", "2"}}, error)) return false;
    parts.ztident = root->attributes[0].value;
    CStrictReader r(*root, error);
    const xml::Node* crypto = r.Take("CRYPTO");
    if (!r.End() || !crypto) return false;
    CStrictReader c(*crypto, error);
    parts.user = c.Text("USER");
    std::string alg = c.Text("ALG");
    parts.cadd = c.Text("CADD");
    parts.hasCadd = true;
    parts.crand = c.Text("CRAND");
    parts.cipher = c.Text("CIPHER");
    parts.mrand = c.Text("MRAND");
    parts.mac = c.Text("MAC");
    if (!c.End()) return false;
    if (alg != "1") error = "unknown algorithm";
    else if (parts.user.empty()) error = "empty user";
    else if (parts.cadd.empty()) error = "empty CADD";
    else if (!IsHex64Upper(parts.crand) || !IsHex64Upper(parts.mrand)) error = "bad random values";
    else if (!IsBase64Text(parts.cipher)) error = "bad cipher";
    else if (parts.mac.size() != 24 || !IsBase64Text(parts.mac)) error = "bad MAC";
    return error.empty();
}

bool VerifyEnvelope(const EnvelopeParts& parts, std::string_view user, std::string_view psk) {
    std::string macData;
    macData.append(user).append("1").append(parts.crand);
    auto tag = EnvelopeMacPsk(parts.cipher, macData, psk, std::string_view(parts.mrand));
    return tag && ConstantTimeEqual(tag->mac, parts.mac);
}

std::optional<std::string> OpenEnvelope(const EnvelopeParts& parts, std::string_view psk) {
    auto plain = OpenPayloadPsk(parts.cipher, parts.crand, psk);
    if (!plain) return std::nullopt;
    return std::string(std::string_view(*plain));
}

bool OpenAnswer(std::string_view answer, std::string_view rawHeaders, std::string_view user,
                std::string_view password, OpenedAnswer& out, bool allowUnsealed) {
    out = OpenedAnswer{};
    auto refuse = [&](std::string why) {
        out.error = std::move(why);
        return false;
    };
    if (!HasAnswerMarker(rawHeaders)) return refuse("no answer marker");
    xml::Document outer = xml::Parse(answer);
    auto cryptos = xml::FindElements(outer.Root(), "CRYPTO", -1);
    if (cryptos.empty()) {
        if (!allowUnsealed) return refuse("answer not sealed");
        out.document = std::move(outer);
        return true;
    }
    const xml::Node& crypto = *cryptos[0];
    auto errors = xml::FindElements(crypto, "ERROR_MSG", -1);
    if (!errors.empty()) {
        out.serverError = true;
        out.errnum = int(ParseInt(xml::AttributeOf(*errors[0], "errno")).value_or(-1));
        return refuse(xml::TextOf(*errors[0]));
    }
    const xml::Node* alg = One(crypto, "ALG");
    const xml::Node* usr = One(crypto, "USER");
    const xml::Node* crand = One(crypto, "CRAND");
    const xml::Node* cipher = One(crypto, "CIPHER");
    const xml::Node* mrand = One(crypto, "MRAND");
    const xml::Node* mac = One(crypto, "MAC");
    if (!alg || xml::TextOf(*alg) != "1" || !usr || !crand || !cipher || !mrand || !mac)
        return refuse("malformed envelope");
    EnvelopeParts parts;
    const xml::Node* cadd = One(crypto, "CADD");
    parts.cadd = cadd ? xml::TextOf(*cadd) : std::string();
    parts.crand = xml::TextOf(*crand);
    parts.cipher = xml::TextOf(*cipher);
    parts.mrand = xml::TextOf(*mrand);
    parts.mac = xml::TextOf(*mac);
    SecureBytes psk = ProtocolPsk(parts.cadd, user, password);
    if (!VerifyEnvelope(parts, user, psk)) return refuse("MAC mismatch");
    auto plain = OpenEnvelope(parts, psk);
    if (!plain) return refuse("cipher does not decrypt");
    out.document = xml::Parse(*plain);
    out.sealed = true;
    return true;
}

} // namespace zt::srv
