#include "security/pkcs12.h"

#include "security/crypto.h"
#include "security/der.h"
#include "security/pbe.h"

#include <optional>

namespace zt {

namespace {

constexpr std::string_view kOidData = "1.2.840.113549.1.7.1";
constexpr std::string_view kOidEncryptedData = "1.2.840.113549.1.7.6";
constexpr std::string_view kOidKeyBag = "1.2.840.113549.1.12.10.1.1";
constexpr std::string_view kOidShroudedKeyBag = "1.2.840.113549.1.12.10.1.2";
constexpr std::string_view kOidCertBag = "1.2.840.113549.1.12.10.1.3";
constexpr std::string_view kOidX509Certificate = "1.2.840.113549.1.9.22.1";
constexpr std::string_view kOidLocalKeyId = "1.2.840.113549.1.9.21";
constexpr std::string_view kOidSha1 = "1.3.14.3.2.26";
constexpr std::string_view kOidSha256 = "2.16.840.1.101.3.4.2.1";
constexpr size_t kMaxBags = 256;

constexpr uint8_t kExplicit0 = der::kContext0 | der::kConstructed;

struct Outer {
    std::string authSafe; // the content of the data content info
    bool hasMac = false;
    std::string macAlgorithm;
    std::string macDigest;
    std::string macSalt;
    uint64_t macIterations = 1;
};

// ContentInfo { type, [0] content } of type data: the octet string's value.
std::optional<std::string> DataContent(const der::Element& contentInfo, int depth) {
    der::Reader r(contentInfo.content, depth + 1);
    auto type = r.Next(der::kOid);
    auto wrapper = r.Next(kExplicit0);
    if (!type || !wrapper || der::OidText(type->content) != kOidData) return std::nullopt;
    der::Reader w(wrapper->content, depth + 2);
    auto octets = w.Next();
    if (!octets || (octets->tag & ~der::kConstructed) != der::kOctetString) return std::nullopt;
    return der::OctetString(*octets, depth + 2);
}

std::optional<Outer> ParseOuter(std::string_view bytes) {
    der::Reader top(bytes);
    auto pfx = top.Next(der::kSequence);
    if (!pfx) return std::nullopt;
    der::Reader r = der::Inside(*pfx, top);
    auto version = r.Next(der::kInteger);
    auto authSafe = r.Next(der::kSequence);
    if (!version || !authSafe || der::SmallInteger(*version) != 3u) return std::nullopt;
    Outer out;
    auto content = DataContent(*authSafe, 1);
    if (!content) return std::nullopt;
    out.authSafe = std::move(*content);
    if (auto mac = r.Next(der::kSequence)) {
        // MacData { DigestInfo { AlgorithmIdentifier, digest }, salt, iterations DEFAULT 1 }
        der::Reader m = der::Inside(*mac, r);
        auto digestInfo = m.Next(der::kSequence);
        auto salt = m.Next(der::kOctetString);
        if (!digestInfo || !salt) return std::nullopt;
        if (auto it = m.Next(der::kInteger)) {
            auto n = der::SmallInteger(*it);
            if (!n || *n == 0 || *n > kMaxPbeIterations) return std::nullopt;
            out.macIterations = *n;
        }
        der::Reader d = der::Inside(*digestInfo, m);
        auto alg = d.Next(der::kSequence);
        auto digest = d.Next(der::kOctetString);
        if (!alg || !digest) return std::nullopt;
        der::Reader a = der::Inside(*alg, d);
        auto oid = a.Next(der::kOid);
        if (!oid) return std::nullopt;
        out.macAlgorithm = der::OidText(oid->content);
        if (out.macAlgorithm != kOidSha1 && out.macAlgorithm != kOidSha256) return std::nullopt;
        out.macDigest = std::string(digest->content);
        out.macSalt = std::string(salt->content);
        out.hasMac = true;
    }
    return out;
}

bool MacMatches(const Outer& o, std::string_view bmpPassword) {
    bool sha256 = o.macAlgorithm == kOidSha256;
    size_t size = sha256 ? kSha256Size : kSha1Size;
    if (o.macDigest.size() != size) return false;
    SecureBytes key = Pkcs12DeriveKey(sha256 ? Pkcs12Hash::Sha256 : Pkcs12Hash::Sha1, bmpPassword, o.macSalt, 3,
                                      uint32_t(o.macIterations), size);
    SecureBytes mac = sha256 ? HmacSha256(key, o.authSafe) : HmacSha1(key, o.authSafe);
    return ConstantTimeEqual(mac, o.macDigest);
}

std::string LocalKeyId(der::Reader& bag) {
    auto attrs = bag.Next(der::kSet);
    if (!attrs) return {};
    der::Reader list = der::Inside(*attrs, bag);
    while (!list.AtEnd()) {
        auto attr = list.Next(der::kSequence);
        if (!attr) return {};
        der::Reader a = der::Inside(*attr, list);
        auto oid = a.Next(der::kOid);
        auto values = a.Next(der::kSet);
        if (!oid || !values || der::OidText(oid->content) != kOidLocalKeyId) continue;
        der::Reader v = der::Inside(*values, a);
        if (auto id = v.Next(der::kOctetString)) return std::string(id->content);
    }
    return {};
}

enum class Walk { Ok, Damaged, NoDecrypt };

Walk ReadSafeContents(std::string_view bytes, std::string_view password, CZtPfxContent& out) {
    der::Reader top(bytes, 2);
    auto seq = top.Next(der::kSequence);
    if (!seq || !top.AtEnd()) return Walk::Damaged;
    der::Reader bags = der::Inside(*seq, top);
    while (!bags.AtEnd()) {
        auto bag = bags.Next(der::kSequence);
        if (!bag) return Walk::Damaged;
        if (out.certificates.size() + out.keys.size() >= kMaxBags) return Walk::Damaged;
        der::Reader b = der::Inside(*bag, bags);
        auto id = b.Next(der::kOid);
        auto value = b.Next(kExplicit0);
        if (!id || !value) return Walk::Damaged;
        std::string keyId = LocalKeyId(b);
        std::string bagId = der::OidText(id->content);
        der::Reader v = der::Inside(*value, b);
        if (bagId == kOidCertBag) {
            auto certBag = v.Next(der::kSequence);
            if (!certBag) return Walk::Damaged;
            der::Reader c = der::Inside(*certBag, v);
            auto certType = c.Next(der::kOid);
            auto certValue = c.Next(kExplicit0);
            if (!certType || !certValue) return Walk::Damaged;
            if (der::OidText(certType->content) != kOidX509Certificate) continue;
            der::Reader cv = der::Inside(*certValue, c);
            auto octets = cv.Next();
            if (!octets || (octets->tag & ~der::kConstructed) != der::kOctetString) return Walk::Damaged;
            auto derBytes = der::OctetString(*octets, cv.Depth());
            if (!derBytes) return Walk::Damaged;
            auto info = ParseCertificate(*derBytes);
            if (!info) continue; // a certificate we cannot read is not offered
            out.certificates.push_back({std::move(*info), keyId});
        } else if (bagId == kOidShroudedKeyBag) {
            // EncryptedPrivateKeyInfo { AlgorithmIdentifier, encryptedData }
            auto epki = v.Next(der::kSequence);
            if (!epki) return Walk::Damaged;
            der::Reader e = der::Inside(*epki, v);
            auto alg = e.Next(der::kSequence);
            auto data = e.Next(der::kOctetString);
            if (!alg || !data) return Walk::Damaged;
            auto key = PbeDecrypt(alg->whole, password, data->content);
            if (!key) return Walk::NoDecrypt;
            out.keys.push_back({std::move(*key), keyId});
        } else if (bagId == kOidKeyBag) {
            auto pki = v.Next(der::kSequence);
            if (!pki) return Walk::Damaged;
            out.keys.push_back({SecureBytes(pki->whole), keyId});
        }
        // Other bags (CRLs, secrets, nested contents) are not used.
    }
    return Walk::Ok;
}

Walk ReadAuthSafe(std::string_view authSafe, std::string_view password, CZtPfxContent& out) {
    der::Reader top(authSafe, 1);
    auto seq = top.Next(der::kSequence);
    if (!seq) return Walk::Damaged;
    der::Reader infos = der::Inside(*seq, top);
    while (!infos.AtEnd()) {
        auto info = infos.Next(der::kSequence);
        if (!info) return Walk::Damaged;
        der::Reader r = der::Inside(*info, infos);
        auto type = r.Next(der::kOid);
        if (!type) return Walk::Damaged;
        std::string t = der::OidText(type->content);
        Walk w = Walk::Ok;
        if (t == kOidData) {
            auto content = DataContent(*info, infos.Depth());
            if (!content) return Walk::Damaged;
            w = ReadSafeContents(*content, password, out);
        } else if (t == kOidEncryptedData) {
            // [0] EncryptedData { version, EncryptedContentInfo { type, algorithm, [0] IMPLICIT octets } }
            auto wrapper = r.Next(kExplicit0);
            if (!wrapper) return Walk::Damaged;
            der::Reader wr = der::Inside(*wrapper, r);
            auto ed = wr.Next(der::kSequence);
            if (!ed) return Walk::Damaged;
            der::Reader e = der::Inside(*ed, wr);
            auto version = e.Next(der::kInteger);
            auto eci = e.Next(der::kSequence);
            if (!version || !eci) return Walk::Damaged;
            der::Reader ec = der::Inside(*eci, e);
            auto contentType = ec.Next(der::kOid);
            auto alg = ec.Next(der::kSequence);
            auto encrypted = ec.Next();
            if (!contentType || !alg || !encrypted || (encrypted->tag & ~der::kConstructed) != der::kContext0)
                return Walk::Damaged;
            auto cipher = der::OctetString(*encrypted, ec.Depth());
            if (!cipher) return Walk::Damaged;
            auto plain = PbeDecrypt(alg->whole, password, *cipher);
            if (!plain) return Walk::NoDecrypt;
            w = ReadSafeContents(*plain, password, out);
        }
        // Content infos of other types (enveloped data) are left aside.
        if (w != Walk::Ok) return w;
    }
    return Walk::Ok;
}

} // namespace

bool LooksLikePfx(std::string_view bytes) { return ParseOuter(bytes).has_value(); }

PfxResult ReadPfx(std::string_view bytes, std::string_view password, CZtPfxContent& out) {
    out = {};
    auto outer = ParseOuter(bytes);
    if (!outer) return PfxResult::NotPfx;
    if (outer->hasMac) {
        SecureBytes bmp = BmpPassword(password);
        bool ok = MacMatches(*outer, bmp);
        // An empty password is written by some programs as no bytes at all.
        if (!ok && password.empty()) ok = MacMatches(*outer, "");
        if (!ok) return PfxResult::WrongPassword;
    }
    Walk w = ReadAuthSafe(outer->authSafe, password, out);
    WipeString(outer->authSafe);
    if (w == Walk::Ok) return PfxResult::Ok;
    out = {};
    // With a matching MAC the password is right and the content is damaged.
    if (w == Walk::NoDecrypt && !outer->hasMac) return PfxResult::WrongPassword;
    return PfxResult::NotPfx;
}

} // namespace zt
