#include "security/certificate.h"

#include "security/der.h"

#include <vector>

namespace zt {

namespace {

const char* ShortName(const std::string& oid) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"2.5.4.3", "CN"},  {"2.5.4.6", "C"},   {"2.5.4.7", "L"},
        {"2.5.4.8", "ST"},  {"2.5.4.9", "STREET"}, {"2.5.4.10", "O"},
        {"2.5.4.11", "OU"}, {"0.9.2342.19200300.100.1.25", "DC"}, {"0.9.2342.19200300.100.1.1", "UID"},
    };
    for (auto& [o, n] : kNames)
        if (oid == o) return n;
    return nullptr;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

bool ValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        uint8_t b = uint8_t(s[i]);
        size_t n = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 9;
        if (n == 9 || s.size() - i <= n) return false;
        for (size_t k = 1; k <= n; ++k)
            if ((uint8_t(s[i + k]) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

// A directory string value as UTF-8.
std::optional<std::string> StringValue(const der::Element& e) {
    std::string out;
    switch (e.tag) {
    case 0x0C: // UTF8String
        if (!ValidUtf8(e.content)) return std::nullopt;
        return std::string(e.content);
    case 0x13: // PrintableString
    case 0x16: // IA5String
    case 0x12: // NumericString
        for (char c : e.content)
            if (uint8_t(c) >= 0x80) return std::nullopt;
        return std::string(e.content);
    case 0x14: // TeletexString, read as Latin-1
        for (char c : e.content) AppendUtf8(out, uint8_t(c));
        return out;
    case 0x1E: // BMPString
        if (e.content.size() % 2) return std::nullopt;
        for (size_t i = 0; i < e.content.size(); i += 2)
            AppendUtf8(out, (uint32_t(uint8_t(e.content[i])) << 8) | uint8_t(e.content[i + 1]));
        return out;
    case 0x1C: // UniversalString
        if (e.content.size() % 4) return std::nullopt;
        for (size_t i = 0; i < e.content.size(); i += 4) {
            uint32_t cp = 0;
            for (int k = 0; k < 4; ++k) cp = (cp << 8) | uint8_t(e.content[i + k]);
            if (cp > 0x10FFFF) return std::nullopt;
            AppendUtf8(out, cp);
        }
        return out;
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<std::string> NameText(std::string_view nameContent) {
    std::vector<std::string> rdns;
    der::Reader names(nameContent, 1);
    while (!names.AtEnd()) {
        auto set = names.Next(der::kSet);
        if (!set) return std::nullopt;
        std::string rdn;
        der::Reader attrs(set->content, 2);
        while (!attrs.AtEnd()) {
            auto atv = attrs.Next(der::kSequence);
            if (!atv) return std::nullopt;
            der::Reader parts(atv->content, 3);
            auto oid = parts.Next(der::kOid);
            auto value = parts.Next();
            if (!oid || !value) return std::nullopt;
            std::string oidText = der::OidText(oid->content);
            auto text = StringValue(*value);
            if (oidText.empty() || !text) return std::nullopt;
            const char* shortName = ShortName(oidText);
            if (!rdn.empty()) rdn += "+";
            rdn += (shortName ? std::string(shortName) : oidText) + "=" + *text;
        }
        rdns.push_back(std::move(rdn));
    }
    std::string out;
    for (auto it = rdns.rbegin(); it != rdns.rend(); ++it) {
        if (!out.empty()) out += ",";
        out += *it;
    }
    return out;
}

std::optional<CZtCertificateInfo> ParseCertificate(std::string_view bytes) {
    der::Reader top(bytes);
    auto cert = top.Next(der::kSequence);
    if (!cert) return std::nullopt;
    der::Reader certParts = der::Inside(*cert, top);
    auto tbs = certParts.Next(der::kSequence);
    if (!tbs) return std::nullopt;
    der::Reader r = der::Inside(*tbs, certParts);
    r.Next(der::kContext0 | der::kConstructed | 0); // version
    auto serial = r.Next(der::kInteger);
    auto sigAlg = r.Next(der::kSequence);
    auto issuer = r.Next(der::kSequence);
    auto validity = r.Next(der::kSequence);
    auto subject = r.Next(der::kSequence);
    auto spki = r.Next(der::kSequence);
    if (!serial || !sigAlg || !issuer || !validity || !subject || !spki) return std::nullopt;

    CZtCertificateInfo info;
    info.der = std::string(cert->whole);
    info.spki = std::string(spki->whole);
    der::Reader spkiParts = der::Inside(*spki, r);
    auto alg = spkiParts.Next(der::kSequence);
    auto key = spkiParts.Next(der::kBitString);
    if (!alg || !key) return std::nullopt;
    der::Reader algParts = der::Inside(*alg, spkiParts);
    auto algOid = algParts.Next(der::kOid);
    auto keyBytes = der::BitStringBytes(*key);
    if (!algOid || !keyBytes) return std::nullopt;
    info.keyAlgorithm = der::OidText(algOid->content);
    info.publicKeyBytes = std::string(*keyBytes);
    if (info.keyAlgorithm.empty() || info.publicKeyBytes.empty()) return std::nullopt;

    if (auto name = NameText(subject->content)) {
        info.subject = *name;
        info.subjectDecodable = true;
    }

    // Optional issuer and subject unique ids, then [3] extensions.
    r.Next(der::kContext0 | 1);
    r.Next(der::kContext0 | 2);
    if (auto exts = r.Next(der::kContext0 | der::kConstructed | 3)) {
        der::Reader extsOuter = der::Inside(*exts, r);
        auto list = extsOuter.Next(der::kSequence);
        if (!list) return std::nullopt;
        der::Reader items = der::Inside(*list, extsOuter);
        while (!items.AtEnd()) {
            auto ext = items.Next(der::kSequence);
            if (!ext) return std::nullopt;
            der::Reader parts = der::Inside(*ext, items);
            auto oid = parts.Next(der::kOid);
            if (!oid) return std::nullopt;
            parts.Next(0x01); // critical
            auto value = parts.Next(der::kOctetString);
            if (!value) return std::nullopt;
            if (der::OidText(oid->content) != "2.5.29.15") continue;
            der::Reader inner(value->content, parts.Depth() + 1);
            auto bits = inner.Next(der::kBitString);
            if (!bits || bits->content.empty()) return std::nullopt;
            info.hasKeyUsage = true;
            info.keyUsage = 0;
            // Bit 0 is the most significant bit of the first content byte.
            for (size_t i = 1; i < bits->content.size() && i <= 2; ++i)
                for (int k = 0; k < 8; ++k)
                    if (uint8_t(bits->content[i]) & (0x80 >> k)) info.keyUsage |= 1u << ((i - 1) * 8 + k);
        }
    }
    return info;
}

} // namespace zt
