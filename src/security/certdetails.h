// What a certificate viewer shows of an X.509 certificate, read from its DER
// bytes: subject and issuer, serial number, validity, the public key's
// algorithm and size, the key usage and the SHA-1 and SHA-256 fingerprints.
// Used for key file and token certificates as well as for a server's TLS
// certificate.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

struct CZtCertificateDetails {
    std::string subject;       // "CN=...,O=...,C=..." (UTF-8); the dotted form when not decodable
    std::string issuer;
    std::string serial;        // hex bytes separated by ":" ("01:A3:...")
    std::string notBefore;     // "YYYY-MM-DD HH:MM:SS UTC"
    std::string notAfter;
    std::string keyAlgorithm;  // "RSA", "EC", or the dotted OID
    std::string keyAlgorithmOid;
    unsigned keyBits = 0;      // RSA modulus bits or the curve's field size; 0 when unknown
    std::string curve;         // "P-256", ... for EC keys (or the curve OID)
    std::string signatureAlgorithm; // "sha256WithRSAEncryption", ... or the dotted OID
    bool hasKeyUsage = false;
    std::vector<std::string> keyUsage; // "digitalSignature", "keyEncipherment", ...
    std::string sha1;          // fingerprints as upper-case hex pairs separated by ":"
    std::string sha256;
};

// nullopt when the bytes are no certificate.
std::optional<CZtCertificateDetails> ReadCertificateDetails(std::string_view der);

// "AB:01:..." of the bytes.
std::string ColonHex(std::string_view bytes);

} // namespace zt
