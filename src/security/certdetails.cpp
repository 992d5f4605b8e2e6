#include "security/certdetails.h"

#include "security/certificate.h"
#include "security/crypto.h"
#include "security/der.h"

#include <cctype>

namespace zt {

namespace {

const char* Lookup(const std::string& oid, std::initializer_list<std::pair<const char*, const char*>> table) {
    for (auto& [o, n] : table)
        if (oid == o) return n;
    return nullptr;
}

// "YYMMDDHHMMSSZ" (UTCTime) or "YYYYMMDDHHMMSSZ" (GeneralizedTime).
std::optional<std::string> TimeText(const der::Element& e) {
    std::string_view s = e.content;
    std::string year;
    if (e.tag == 0x17 && s.size() == 13) {
        year = (s[0] >= '5' ? "19" : "20") + std::string(s.substr(0, 2));
        s.remove_prefix(2);
    } else if (e.tag == 0x18 && s.size() == 15) {
        year = std::string(s.substr(0, 4));
        s.remove_prefix(4);
    } else {
        return std::nullopt;
    }
    if (s.back() != 'Z') return std::nullopt;
    for (char c : year + std::string(s.substr(0, 10)))
        if (!std::isdigit(uint8_t(c))) return std::nullopt;
    return year + "-" + std::string(s.substr(0, 2)) + "-" + std::string(s.substr(2, 2)) + " " +
           std::string(s.substr(4, 2)) + ":" + std::string(s.substr(6, 2)) + ":" + std::string(s.substr(8, 2)) +
           " UTC";
}

unsigned BitLength(std::string_view integer) {
    size_t i = 0;
    while (i < integer.size() && integer[i] == 0) ++i;
    if (i == integer.size()) return 0;
    unsigned bits = unsigned(integer.size() - i) * 8;
    for (uint8_t top = uint8_t(integer[i]); !(top & 0x80); top <<= 1) --bits;
    return bits;
}

std::string NameOrOid(std::string_view nameContent) {
    if (auto text = NameText(nameContent)) return *text;
    return "?";
}

} // namespace

std::string ColonHex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ':';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<CZtCertificateDetails> ReadCertificateDetails(std::string_view bytes) {
    auto info = ParseCertificate(bytes);
    if (!info) return std::nullopt;
    der::Reader top(info->der);
    auto cert = top.Next(der::kSequence);
    if (!cert) return std::nullopt;
    der::Reader certParts = der::Inside(*cert, top);
    auto tbs = certParts.Next(der::kSequence);
    auto outerSig = certParts.Next(der::kSequence);
    if (!tbs || !outerSig) return std::nullopt;
    der::Reader r = der::Inside(*tbs, certParts);
    r.Next(der::kContext0 | der::kConstructed | 0);
    auto serial = r.Next(der::kInteger);
    r.Next(der::kSequence);
    auto issuer = r.Next(der::kSequence);
    auto validity = r.Next(der::kSequence);
    auto subject = r.Next(der::kSequence);
    if (!serial || !issuer || !validity || !subject) return std::nullopt;

    CZtCertificateDetails d;
    d.subject = info->subjectDecodable ? info->subject : NameOrOid(subject->content);
    d.issuer = NameOrOid(issuer->content);
    d.serial = ColonHex(serial->content);
    der::Reader times = der::Inside(*validity, r);
    auto from = times.Next();
    auto until = times.Next();
    if (!from || !until) return std::nullopt;
    d.notBefore = TimeText(*from).value_or("?");
    d.notAfter = TimeText(*until).value_or("?");

    der::Reader sigParts = der::Inside(*outerSig, certParts);
    if (auto oid = sigParts.Next(der::kOid)) {
        const std::string text = der::OidText(oid->content);
        const char* name = Lookup(text, {{"1.2.840.113549.1.1.4", "md5WithRSAEncryption"},
                                         {"1.2.840.113549.1.1.5", "sha1WithRSAEncryption"},
                                         {"1.2.840.113549.1.1.10", "RSASSA-PSS"},
                                         {"1.2.840.113549.1.1.11", "sha256WithRSAEncryption"},
                                         {"1.2.840.113549.1.1.12", "sha384WithRSAEncryption"},
                                         {"1.2.840.113549.1.1.13", "sha512WithRSAEncryption"},
                                         {"1.2.840.10045.4.1", "ecdsa-with-SHA1"},
                                         {"1.2.840.10045.4.3.2", "ecdsa-with-SHA256"},
                                         {"1.2.840.10045.4.3.3", "ecdsa-with-SHA384"},
                                         {"1.2.840.10045.4.3.4", "ecdsa-with-SHA512"},
                                         {"1.3.101.112", "Ed25519"}});
        d.signatureAlgorithm = name ? name : text;
    }

    d.keyAlgorithmOid = info->keyAlgorithm;
    if (info->keyAlgorithm == "1.2.840.113549.1.1.1") {
        d.keyAlgorithm = "RSA";
        // RSAPublicKey ::= SEQUENCE { modulus INTEGER, publicExponent INTEGER }
        der::Reader key(info->publicKeyBytes, 1);
        if (auto seq = key.Next(der::kSequence)) {
            der::Reader parts = der::Inside(*seq, key);
            if (auto modulus = parts.Next(der::kInteger)) d.keyBits = BitLength(modulus->content);
        }
    } else if (info->keyAlgorithm == "1.2.840.10045.2.1") {
        d.keyAlgorithm = "EC";
        der::Reader spki(info->spki, 1);
        if (auto seq = spki.Next(der::kSequence)) {
            der::Reader parts = der::Inside(*seq, spki);
            if (auto alg = parts.Next(der::kSequence)) {
                der::Reader algParts = der::Inside(*alg, parts);
                algParts.Next(der::kOid);
                if (auto curve = algParts.Next(der::kOid)) {
                    const std::string text = der::OidText(curve->content);
                    static const struct { const char* oid; const char* name; unsigned bits; } kCurves[] = {
                        {"1.2.840.10045.3.1.7", "P-256", 256}, {"1.3.132.0.34", "P-384", 384},
                        {"1.3.132.0.35", "P-521", 521},        {"1.3.132.0.10", "secp256k1", 256},
                        {"1.2.840.10045.3.1.1", "P-192", 192}, {"1.3.132.0.33", "P-224", 224}};
                    d.curve = text;
                    for (auto& c : kCurves)
                        if (text == c.oid) {
                            d.curve = c.name;
                            d.keyBits = c.bits;
                        }
                }
            }
        }
    } else {
        const char* name = Lookup(info->keyAlgorithm, {{"1.3.101.112", "Ed25519"}, {"1.3.101.110", "X25519"},
                                                       {"1.2.840.10040.4.1", "DSA"}});
        d.keyAlgorithm = name ? name : info->keyAlgorithm;
    }

    d.hasKeyUsage = info->hasKeyUsage;
    static const char* const kUsage[] = {"digitalSignature", "nonRepudiation", "keyEncipherment",
                                         "dataEncipherment", "keyAgreement",   "keyCertSign",
                                         "cRLSign",          "encipherOnly",   "decipherOnly"};
    for (unsigned bit = 0; bit < 9; ++bit)
        if (info->keyUsage & (1u << bit)) d.keyUsage.push_back(kUsage[bit]);

    d.sha1 = ColonHex(Sha1(info->der).view());
    d.sha256 = ColonHex(Sha256(info->der).view());
    return d;
}

} // namespace zt
