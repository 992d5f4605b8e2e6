// The certificate viewer's facts read from DER bytes, compared with what the
// openssl command line says about the same certificates; and key files made
// with GnuTLS certtool open like those of OpenSSL.
#include "security/certdetails.h"
#include "security/keyring.h"
#include "security/pkcs12source.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace zt;

namespace {

bool Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// "SHA256 Fingerprint=AB:CD:..." -> "AB:CD:..."
std::string AfterEquals(const std::string& s) { return s.substr(s.find('=') + 1); }

TEST(CertificateDetails, AgreeWithOpenssl) {
    if (!Sh("command -v openssl")) GTEST_SKIP() << "the openssl command line is not installed";
    test::TempDir dir;
    const std::string d = dir.path();
    struct Case {
        const char* key;
        const char* extensions;
        const char* algorithm;
        unsigned bits;
        const char* curve;
        std::vector<std::string> usage;
    };
    const Case cases[] = {
        {"-newkey rsa:2048", "-addext keyUsage=critical,digitalSignature,keyEncipherment", "RSA", 2048, "",
         {"digitalSignature", "keyEncipherment"}},
        {"-newkey rsa:3072", "", "RSA", 3072, "", {}},
        {"-newkey ec -pkeyopt ec_paramgen_curve:P-256", "-addext keyUsage=keyAgreement", "EC", 256, "P-256",
         {"keyAgreement"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_TRUE(Sh(std::string("openssl req -x509 ") + c.key + " -nodes -keyout " + d + "/k.pem -out " + d +
                       "/c.pem -subj '/C=DE/O=Zettrix Test/CN=Viewer' -set_serial 0x1234ABCD -days 30 " +
                       c.extensions));
        ASSERT_TRUE(Sh("openssl x509 -in " + d + "/c.pem -outform DER -out " + d + "/c.der"));
        auto details = ReadCertificateDetails(test::ReadFile(d + "/c.der"));
        ASSERT_TRUE(details);
        EXPECT_EQ(details->subject, "CN=Viewer,O=Zettrix Test,C=DE");
        EXPECT_EQ(details->issuer, "CN=Viewer,O=Zettrix Test,C=DE"); // self-signed
        EXPECT_EQ(details->serial, "12:34:AB:CD");
        EXPECT_EQ(details->keyAlgorithm, c.algorithm);
        EXPECT_EQ(details->keyBits, c.bits);
        EXPECT_EQ(details->curve, c.curve);
        EXPECT_EQ(details->hasKeyUsage, !c.usage.empty());
        EXPECT_EQ(details->keyUsage, c.usage);
        EXPECT_EQ(details->sha1, AfterEquals(Output("openssl x509 -in " + d + "/c.pem -noout -fingerprint -sha1")));
        EXPECT_EQ(details->sha256,
                  AfterEquals(Output("openssl x509 -in " + d + "/c.pem -noout -fingerprint -sha256")));
        // "notBefore=Dec 10 12:00:00 2026 GMT": the year and the clock time agree.
        const std::string before = Output("openssl x509 -in " + d + "/c.pem -noout -startdate");
        EXPECT_NE(before.find(details->notBefore.substr(0, 4)), std::string::npos) << before;
        EXPECT_NE(before.find(details->notBefore.substr(11, 8)), std::string::npos) << before;
        EXPECT_EQ(details->notBefore.size(), std::string("2026-12-10 12:00:00 UTC").size());
    }
}

TEST(CertificateDetails, DamagedBytesAreNoCertificate) {
    for (std::string bytes : {std::string(), std::string("\x30\x03\x02\x01\x01", 5), std::string(200, '\x30'),
                              std::string("\x30\x84\xff\xff\xff\xff", 6)})
        EXPECT_FALSE(ReadCertificateDetails(bytes));
    EXPECT_EQ(ColonHex(std::string("\x00\xab\x10", 3)), "00:AB:10");
}

// Key files written by GnuTLS: certtool's PKCS#12 with its default cipher
// (PBES2 with AES) and with the old PKCS#12 triple DES.
TEST(CerttoolKeyFiles, OpenWithTheirPasswordAndCarryDocuments) {
    if (!Sh("command -v certtool")) GTEST_SKIP() << "GnuTLS certtool (gnutls-bin) is not installed";
    test::TempDir dir;
    const std::string d = dir.path();
    test::WriteFile(d + "/cert.cfg", "cn = \"Gnu Tester\"\norganization = \"Zettrix Test\"\ncountry = DE\n"
                                     "expiration_days = 30\nencryption_key\nsigning_key\n");
    ASSERT_TRUE(Sh("certtool --generate-privkey --key-type rsa --bits 2048 --outfile " + d + "/k.pem"));
    ASSERT_TRUE(Sh("certtool --generate-self-signed --load-privkey " + d + "/k.pem --template " + d +
                   "/cert.cfg --outfile " + d + "/c.pem"));
    struct Case {
        const char* name;
        const char* cipher; // certtool --pkcs-cipher
    };
    for (const Case& c : {Case{"aes", "aes-256"}, Case{"3des", "3des-pkcs12"}, Case{"default", ""}}) {
        SCOPED_TRACE(c.name);
        const std::string file = d + "/" + c.name + ".p12";
        std::string command = "certtool --to-p12 --load-privkey " + d + "/k.pem --load-certificate " + d +
                              "/c.pem --p12-name gnu --password 'Kennwort' --outder --outfile " + file;
        if (*c.cipher) command += std::string(" --pkcs-cipher ") + c.cipher;
        ASSERT_TRUE(Sh(command));
        CZtPkcs12Source source;
        ASSERT_EQ(source.LoadFile(file), CZtPkcs12Source::Result::Ok);
        EXPECT_EQ(source.Open("falsch"), CZtPkcs12Source::Result::WrongPassword);
        ASSERT_EQ(source.Open("Kennwort"), CZtPkcs12Source::Result::Ok);
        ASSERT_EQ(source.Count(), 1u);
        EXPECT_EQ(source.Certificate(0).subject, "CN=Gnu Tester,O=Zettrix Test,C=DE");
        CZtKeyRing ring;
        ASSERT_TRUE(ring.CreateEncryption({"", "", source.KeyObject(0)}));
        const std::string area = ring.KeyArea();
        CZtKeyRing again;
        ASSERT_EQ(again.LoadKeyArea(area), 0);
        EXPECT_TRUE(again.Unlock({"", "", source.KeyObject(0)}));
        EXPECT_EQ(again.DocumentKey(), ring.DocumentKey());
    }
}

} // namespace
