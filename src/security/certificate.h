// The parts of an X.509 certificate the key sources use, read from its DER
// bytes: subject name as display text, public-key algorithm and key, key
// usage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zt {

struct CZtCertificateInfo {
    std::string der;             // the whole certificate
    std::string subject;         // "CN=...,O=...,C=..." (UTF-8); empty when not decodable
    bool subjectDecodable = false;
    std::string spki;            // the SubjectPublicKeyInfo element
    std::string keyAlgorithm;    // its algorithm OID
    std::string publicKeyBytes;  // the subject public key (the bit string's bytes)
    bool hasKeyUsage = false;
    uint32_t keyUsage = 0;       // bit n = KeyUsage bit n (2 keyEncipherment, 3 dataEncipherment)

    // Whether the key may encrypt keys or data (or the usage is not limited).
    bool AllowsEncipherment() const { return !hasKeyUsage || (keyUsage & 0x0C) != 0; }
};

// Parses a certificate; nullopt when its structure is damaged.
std::optional<CZtCertificateInfo> ParseCertificate(std::string_view der);

// The display text of an X.509 Name: the relative distinguished names from
// the last to the first, joined by ","; each attribute as its short name (CN,
// C, L, ST, STREET, O, OU, DC, UID, else the dotted OID), "=" and the value.
// nullopt when a value cannot be decoded.
std::optional<std::string> NameText(std::string_view nameContent);

} // namespace zt
