// Feeds arbitrary bytes to the PKCS#12 reader (with the password of the seed
// files, "geheim"), to the key source built on it, to the certificate reader
// and to the details the certificate viewer shows. The seeds without a MAC
// let mutations reach the bags.
#include "security/certdetails.h"
#include "security/certificate.h"
#include "security/pkcs12.h"
#include "security/pkcs12source.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace zt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)ParseCertificate(bytes);
    (void)ReadCertificateDetails(bytes);
    CZtPfxContent content;
    if (ReadPfx(bytes, "geheim", content) == PfxResult::Ok)
        for (const auto& c : content.certificates) (void)c.info.AllowsEncipherment();
    CZtPkcs12Source source;
    if (source.LoadBytes(bytes) == CZtPkcs12Source::Result::Ok && source.Open("geheim") == CZtPkcs12Source::Result::Ok)
        for (size_t i = 0; i < source.Count(); ++i) {
            auto cipher = source.KeyObject(i)->EncryptToPublicKey("0123456789abcdef", kOidRsaEncryption);
            if (cipher) (void)source.KeyObject(i)->DecryptWithPrivateKey(*cipher, kOidRsaEncryption);
        }
    return 0;
}
