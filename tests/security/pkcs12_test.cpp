// PKCS#12 key files as key sources: files made by the openssl command line
// (RSA 2048 and EC P-256, the legacy ciphers and the OpenSSL 3 defaults) open
// with their password, their key objects encrypt and decrypt, and the key
// ring creates and opens certificate key blocks with them.
#include "security/certificate.h"
#include "security/keyobject.h"
#include "security/keyring.h"
#include "security/pkcs12.h"
#include "security/pkcs12source.h"

#include "base/messages.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace zt;

namespace {

using Result = CZtPkcs12Source::Result;

// Key files made once for all tests.
struct KeyFiles {
    test::TempDir dir;
    bool ok = false;
    std::string error;
};

KeyFiles* gFiles = nullptr;

bool Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

struct FileCase {
    const char* file;
    const char* password;
    const char* algorithm;
    const char* subject;
};

const FileCase kFiles[] = {
    {"rsa-default.p12", "geheim", "1.2.840.113549.1.1.1", "CN=Alice,O=Zettrix Test,C=DE"},
    {"rsa-legacy.p12", "geheim", "1.2.840.113549.1.1.1", "CN=Alice,O=Zettrix Test,C=DE"},
    {"rsa-rc2.p12", "geheim", "1.2.840.113549.1.1.1", "CN=Alice,O=Zettrix Test,C=DE"},
    {"rsa-nomac.p12", "geheim", "1.2.840.113549.1.1.1", "CN=Alice,O=Zettrix Test,C=DE"}, // no MAC
    {"ec-default.p12", "Schlüssel", "1.2.840.10045.2.1", "CN=Erika,O=Zettrix Test,C=DE"},
    {"ec-legacy.p12", "Schlüssel", "1.2.840.10045.2.1", "CN=Erika,O=Zettrix Test,C=DE"},
};

class Pkcs12Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gFiles = new KeyFiles;
        if (!Sh("command -v openssl")) {
            gFiles->error = "the openssl command line is not installed";
            return;
        }
        const std::string d = gFiles->dir.path();
        auto q = [&](const std::string& name) { return "'" + d + "/" + name + "'"; };
        auto cert = [&](const std::string& stem, const std::string& keySpec, const std::string& subject,
                        const std::string& extra) {
            return Sh("openssl req -x509 " + keySpec + " -nodes -keyout " + q(stem + ".key") + " -out " +
                      q(stem + ".crt") + " -subj '" + subject + "' -days 30 " + extra);
        };
        auto p12 = [&](const std::string& stem, const std::string& out, const std::string& pw,
                       const std::string& options) {
            return Sh("openssl pkcs12 -export " + options + " -inkey " + q(stem + ".key") + " -in " +
                      q(stem + ".crt") + " -out " + q(out) + " -passout 'pass:" + pw + "'");
        };
        const std::string legacy = "-legacy -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES";
        gFiles->ok =
            cert("rsa", "-newkey rsa:2048", "/C=DE/O=Zettrix Test/CN=Alice", "") &&
            cert("bob", "-newkey rsa:2048", "/C=DE/O=Zettrix Test/CN=Bob", "-addext keyUsage=digitalSignature") &&
            cert("ec", "-newkey ec -pkeyopt ec_paramgen_curve:P-256", "/C=DE/O=Zettrix Test/CN=Erika", "") &&
            p12("rsa", "rsa-default.p12", "geheim", "") && p12("rsa", "rsa-legacy.p12", "geheim", legacy) &&
            p12("rsa", "rsa-rc2.p12", "geheim", "-legacy") && p12("rsa", "rsa-nomac.p12", "geheim", "-nomac") && p12("bob", "bob.p12", "bob", "") &&
            p12("ec", "ec-default.p12", "Schlüssel", "") && p12("ec", "ec-legacy.p12", "Schlüssel", legacy);
        if (!gFiles->ok) gFiles->error = "openssl could not make the key files";
    }
    static void TearDownTestSuite() {
        delete gFiles;
        gFiles = nullptr;
    }
    void SetUp() override {
        if (!gFiles->ok) GTEST_SKIP() << gFiles->error;
    }
    static std::string Path(const std::string& name) { return gFiles->dir / name; }

    // A source opened with the file's password.
    static std::unique_ptr<CZtPkcs12Source> Open(const std::string& file, const std::string& password) {
        auto s = std::make_unique<CZtPkcs12Source>();
        EXPECT_EQ(s->LoadFile(Path(file)), Result::Ok) << file;
        EXPECT_EQ(s->Open(password), Result::Ok) << file;
        EXPECT_EQ(s->Count(), 1u) << file;
        return s;
    }
};

TEST_F(Pkcs12Test, FilesOpenWithTheirPasswordOnly) {
    for (const auto& f : kFiles) {
        SCOPED_TRACE(f.file);
        CZtPkcs12Source source;
        ASSERT_EQ(source.LoadFile(Path(f.file)), Result::Ok);
        EXPECT_EQ(source.Open("falsch"), Result::WrongPassword);
        EXPECT_EQ(source.Count(), 0u);
        EXPECT_EQ(source.Open(""), Result::WrongPassword);
        ASSERT_EQ(source.Open(f.password), Result::Ok);
        ASSERT_EQ(source.Count(), 1u);
        const CZtCertificateInfo& cert = source.Certificate(0);
        EXPECT_EQ(cert.keyAlgorithm, f.algorithm);
        EXPECT_EQ(cert.subject, f.subject);
        EXPECT_TRUE(cert.AllowsEncipherment());
        ASSERT_NE(source.KeyObject(0), nullptr);
        EXPECT_EQ(source.KeyObject(0)->PublicKeyBytes(), cert.publicKeyBytes);
        source.Release();
        EXPECT_EQ(source.Count(), 0u);
        EXPECT_EQ(source.Open(f.password), Result::NotPfx); // the file's bytes are gone
    }
    EXPECT_STREQ(MessageText(CZtPkcs12Source::Message(Result::WrongPassword)),
                 "Das Passwort war falsch.\nBitte versuchen Sie es noch einmal.");
}

TEST_F(Pkcs12Test, KeyUsageIsRead) {
    auto bob = Open("bob.p12", "bob");
    const CZtCertificateInfo& cert = bob->Certificate(0);
    EXPECT_TRUE(cert.hasKeyUsage);
    EXPECT_EQ(cert.keyUsage, 1u); // digitalSignature only
    EXPECT_FALSE(cert.AllowsEncipherment());
}

TEST_F(Pkcs12Test, KeyObjectsEncryptAndDecryptWithTheSchemesOfTheirKey) {
    const std::string secret(32, '\x42');
    struct Case {
        const char* file;
        const char* password;
        const char* oid;
        bool supported;
    } cases[] = {
        {"rsa-default.p12", "geheim", "1.2.840.113549.1.1.1", true},
        {"rsa-default.p12", "geheim", "1.2.840.113549.1.1.7", true},
        {"rsa-default.p12", "geheim", "1.2.840.10045.2.1", false},
        {"ec-default.p12", "Schlüssel", "1.2.840.10045.2.1", true},
        {"ec-default.p12", "Schlüssel", "1.2.840.113549.1.1.1", false},
        {"ec-default.p12", "Schlüssel", "1.2.840.113549.1.1.7", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.oid);
        auto source = Open(c.file, c.password);
        CZtKeyObject* key = source->KeyObject(0);
        auto cipher = key->EncryptToPublicKey(secret, c.oid);
        ASSERT_EQ(cipher.has_value(), c.supported);
        EXPECT_FALSE(key->DecryptWithPrivateKey(std::string(64, 'x'), c.oid).has_value());
        if (!c.supported) continue;
        EXPECT_NE(*cipher, secret);
        auto plain = key->DecryptWithPrivateKey(*cipher, c.oid);
        ASSERT_TRUE(plain.has_value());
        EXPECT_EQ(plain->view(), secret);
        // Damaged ciphertext does not decrypt to the secret.
        std::string damaged = *cipher;
        damaged[damaged.size() / 2] ^= 1;
        auto bad = key->DecryptWithPrivateKey(damaged, c.oid);
        EXPECT_TRUE(!bad || bad->view() != secret);
    }
}

CZtCredentials Np(std::string name, std::string password) { return {std::move(name), std::move(password), nullptr}; }
CZtCredentials Cert(CZtKeyObject* key) { return {"", "", key}; }

// Encrypts `text` as an item under the ring's keys.
std::string Item(const CZtKeyRing& ring, const std::string& text) { return ring.WriteItem("ZT08", text)->substr(4); }

TEST_F(Pkcs12Test, KeyRingOpensCertificateBlocks) {
    const std::string text = "vertraulicher Text, sechzehn Zei";
    std::string area, item;
    {
        auto alice = Open("rsa-default.p12", "geheim");
        CZtKeyRing ring;
        ASSERT_TRUE(ring.CreateEncryption(Cert(alice->KeyObject(0))));
        ASSERT_TRUE(ring.PrepareSave());
        area = ring.KeyArea();
        item = Item(ring, text);
    }
    test::ScriptedPrompter prompter;
    struct Case {
        const char* file;
        const char* password;
        bool opens;
    } cases[] = {
        {"rsa-default.p12", "geheim", true},
        {"rsa-legacy.p12", "geheim", true}, // the same key pair in the other form
        {"bob.p12", "bob", false},          // another certificate: no block of its own
        {"ec-default.p12", "Schlüssel", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto source = Open(c.file, c.password);
        CZtKeyRing ring(&prompter);
        ASSERT_EQ(ring.LoadKeyArea(area), 0);
        EXPECT_EQ(ring.Unlock(Cert(source->KeyObject(0))), c.opens);
        EXPECT_EQ(ring.State(), c.opens ? CZtKeyRing::kUnlocked : CZtKeyRing::kLocked);
        EXPECT_FALSE(ring.Unlock(Np("Alice", "geheim")));
        if (!c.opens) continue;
        auto read = ring.ReadItem("ZT08", item);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->view(), text);
    }
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(Pkcs12Test, NamePasswordAndCertificateBlocksOpenEither) {
    auto alice = Open("rsa-legacy.p12", "geheim");
    std::string area;
    {
        CZtKeyRing ring;
        ASSERT_TRUE(ring.CreateEncryption(Np("Carol", "pw-carol")));
        ASSERT_TRUE(ring.AddCredentials(Np("Carol", "pw-carol"), Cert(alice->KeyObject(0))));
        ASSERT_TRUE(ring.PrepareSave());
        area = ring.KeyArea();
    }
    SecureBytes key;
    for (const auto& credentials : {Np("Carol", "pw-carol"), Cert(alice->KeyObject(0))}) {
        CZtKeyRing ring;
        ASSERT_EQ(ring.LoadKeyArea(area), 0);
        ASSERT_TRUE(ring.Unlock(credentials));
        if (key.empty()) key = ring.DocumentKey();
        EXPECT_EQ(ring.DocumentKey(), key);
    }
    // A certificate whose key cannot decrypt the block leaves the ring closed.
    auto bob = Open("bob.p12", "bob");
    CZtKeyRing ring;
    ASSERT_EQ(ring.LoadKeyArea(area), 0);
    EXPECT_FALSE(ring.Unlock(Cert(bob->KeyObject(0))));
    EXPECT_TRUE(ring.DocumentKey().empty());
}

// Hands the ring an elliptic-curve key object as if it were RSA, so that a
// block for it can be made; the block is then marked as elliptic-curve.
class PretendRsa : public CZtKeyObject {
public:
    explicit PretendRsa(CZtKeyObject& ec) : ec_(ec) {}
    std::string PublicKeyAlgorithm() const override { return std::string(kOidRsaEncryption); }
    std::string PublicKeyBytes() const override { return ec_.PublicKeyBytes(); }
    std::optional<std::string> EncryptToPublicKey(std::string_view data, std::string_view) override {
        return ec_.EncryptToPublicKey(data, kOidEcPublicKey);
    }
    std::optional<SecureBytes> DecryptWithPrivateKey(std::string_view, std::string_view) override {
        return std::nullopt;
    }

private:
    CZtKeyObject& ec_;
};

TEST_F(Pkcs12Test, EllipticCurveBlocksOpenWithTheirKey) {
    auto erika = Open("ec-legacy.p12", "Schlüssel");
    PretendRsa pretend(*erika->KeyObject(0));
    std::string area;
    {
        CZtKeyRing ring;
        // New blocks are made for RSA certificates only.
        EXPECT_FALSE(ring.CreateEncryption(Cert(erika->KeyObject(0))));
        EXPECT_EQ(ring.State(), CZtKeyRing::kUnencrypted);
        ASSERT_TRUE(ring.CreateEncryption(Cert(&pretend)));
        area = ring.KeyArea();
    }
    ASSERT_GT(area.size(), CZtKeyRing::kBlockSize);
    area[CZtKeyRing::kBlockSize] = 2; // the algorithm byte of the extension
    auto reopened = Open("ec-default.p12", "Schlüssel");
    CZtKeyRing ring;
    ASSERT_EQ(ring.LoadKeyArea(area), 0);
    EXPECT_TRUE(ring.Unlock(Cert(reopened->KeyObject(0))));
}

TEST_F(Pkcs12Test, DamagedFilesFailCleanly) {
    std::string bytes = test::ReadFile(Path("rsa-legacy.p12"));
    ASSERT_FALSE(bytes.empty());
    CZtPkcs12Source source;
    for (size_t n = 0; n < bytes.size(); n += 29) {
        auto r = source.LoadBytes(bytes.substr(0, n));
        if (r == Result::Ok) {
            EXPECT_NE(source.Open("geheim"), Result::Ok) << n;
        }
    }
    // A changed byte anywhere: the MAC or the structure catches it.
    for (size_t i = 0; i < bytes.size(); i += 41) {
        std::string changed = bytes;
        changed[i] ^= 0x10;
        if (source.LoadBytes(changed) == Result::Ok) {
            Result r = source.Open("geheim");
            EXPECT_NE(r, Result::Ok) << i;
        }
    }
    EXPECT_EQ(source.LoadBytes("not a key file"), Result::NotPfx);
    EXPECT_EQ(source.LoadFile(Path("missing.p12")), Result::NotPfx);
    EXPECT_EQ(source.LoadFile(Path("rsa.crt")), Result::NotPfx);
    EXPECT_STREQ(MessageText(CZtPkcs12Source::Message(Result::NotPfx)),
                 "Die PKCS#12 Datei konnte nicht initialisiert werden.\nBitte geben Sie eine andere PKCS#12 Datei an.");
}

TEST(CertificateName, RdnsInReverseOrderWithShortNames) {
    // SET { SEQ { OID 2.5.4.6, PrintableString "DE" } }, then O, then an
    // unknown OID 2.5.4.99 and CN.
    auto rdn = [](std::string oid, uint8_t tag, std::string value) {
        std::string atv = "\x06" + std::string(1, char(oid.size())) + oid + std::string(1, char(tag)) +
                          std::string(1, char(value.size())) + value;
        std::string seq = "\x30" + std::string(1, char(atv.size())) + atv;
        return "\x31" + std::string(1, char(seq.size())) + seq;
    };
    std::string name = rdn("\x55\x04\x06", 0x13, "DE") + rdn("\x55\x04\x0a", 0x0C, "Zettrix Gr\xC3\xBCn") +
                       rdn("\x55\x04\x63", 0x13, "x") + rdn("\x55\x04\x03", 0x1E, std::string("\0A\0l", 4));
    EXPECT_EQ(NameText(name), "CN=Al,2.5.4.99=x,O=Zettrix Gr\xC3\xBCn,C=DE");
    // A UTF8String that is not UTF-8 cannot be shown.
    EXPECT_FALSE(NameText(rdn("\x55\x04\x03", 0x0C, "\xFF")).has_value());
}

} // namespace
