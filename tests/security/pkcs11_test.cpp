// A PKCS#11 token as a key source: a SoftHSM2 token initialised in a
// temporary directory, with a key pair and its certificate imported by
// pkcs11-tool; documents encrypted to the token's certificate open after the
// login with the PIN, and also with a key file of the same key pair.
#include "security/keyring.h"
#include "security/pkcs11source.h"
#include "security/pkcs12source.h"

#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace zt;

namespace {

const char* kModule = "/usr/lib/softhsm/libsofthsm2.so";

bool Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

struct Token {
    test::TempDir dir;
    bool ok = false;
    std::string error;
};
Token* gToken = nullptr;

class Pkcs11Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gToken = new Token;
        if (!std::filesystem::exists(kModule) || !Sh("command -v softhsm2-util") || !Sh("command -v pkcs11-tool") ||
            !Sh("command -v openssl")) {
            gToken->error = "softhsm2, opensc (pkcs11-tool) or openssl is not installed";
            return;
        }
        const std::string d = gToken->dir.path();
        test::WriteFile(d + "/softhsm2.conf", "directories.tokendir = " + d + "/tokens\nobjectstore.backend = file\n"
                                               "log.level = ERROR\n");
        std::filesystem::create_directory(d + "/tokens");
        setenv("SOFTHSM2_CONF", (d + "/softhsm2.conf").c_str(), 1);
        const std::string tool = std::string("pkcs11-tool --module ") + kModule +
                                 " --token-label ZtTest --login --pin 1234 ";
        gToken->ok =
            Sh("softhsm2-util --init-token --free --label ZtTest --pin 1234 --so-pin 5678") &&
            Sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + d + "/a.key -out " + d +
               "/a.crt -subj /CN=Alice -days 30") &&
            Sh("openssl x509 -in " + d + "/a.crt -outform DER -out " + d + "/a.der") &&
            Sh("openssl pkcs8 -topk8 -nocrypt -in " + d + "/a.key -outform DER -out " + d + "/a.p8") &&
            Sh("openssl pkcs12 -export -inkey " + d + "/a.key -in " + d + "/a.crt -out " + d +
               "/a.p12 -passout pass:geheim") &&
            Sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + d + "/b.key -out " + d +
               "/b.crt -subj /CN=Bob -days 30") &&
            Sh("openssl pkcs12 -export -inkey " + d + "/b.key -in " + d + "/b.crt -out " + d +
               "/b.p12 -passout pass:geheim") &&
            Sh(tool + "--write-object " + d + "/a.p8 --type privkey --id 01 --label alice") &&
            Sh(tool + "--write-object " + d + "/a.der --type cert --id 01 --label alice");
        if (!gToken->ok) gToken->error = "the SoftHSM2 token could not be set up";
    }
    static void TearDownTestSuite() {
        delete gToken;
        gToken = nullptr;
    }
    void SetUp() override {
        if (!gToken->ok) GTEST_SKIP() << gToken->error;
    }
    static std::unique_ptr<CZtPkcs12Source> KeyFile(const std::string& name) {
        auto s = std::make_unique<CZtPkcs12Source>();
        EXPECT_EQ(s->LoadFile(gToken->dir / name), CZtPkcs12Source::Result::Ok);
        EXPECT_EQ(s->Open("geheim"), CZtPkcs12Source::Result::Ok);
        return s;
    }
};

CZtCredentials Cert(CZtKeyObject* key) { return {"", "", key}; }

TEST_F(Pkcs11Test, ModulesThatAreNoDriverAreRefused) {
    CZtPkcs11Source source;
    EXPECT_FALSE(source.Load(gToken->dir / "missing.so"));
    EXPECT_FALSE(source.Load("libz.so.1"));
    EXPECT_FALSE(source.ListCertificates());
    EXPECT_EQ(source.Count(), 0u);
}

TEST_F(Pkcs11Test, TokenCertificateOpensAfterLogin) {
    CZtPkcs11Source token;
    ASSERT_TRUE(token.Load(kModule));
    ASSERT_TRUE(token.ListCertificates());
    ASSERT_EQ(token.Count(), 1u);
    const auto& entry = token.Certificate(0);
    EXPECT_EQ(entry.certificate.subject, "CN=Alice");
    EXPECT_EQ(entry.tokenLabel, "ZtTest");
    EXPECT_EQ(entry.label, "alice");
    EXPECT_EQ(entry.id, "\x01");
    EXPECT_TRUE(entry.loginRequired);

    std::string area;
    {
        CZtKeyRing ring;
        ASSERT_TRUE(ring.CreateEncryption(Cert(token.KeyObject(0)))); // the public key needs no login
        area = ring.KeyArea();
    }
    test::ScriptedPrompter prompter;
    CZtKeyRing ring(&prompter);
    ASSERT_EQ(ring.LoadKeyArea(area), 0);
    EXPECT_FALSE(ring.Unlock(Cert(token.KeyObject(0)))); // no login yet: the key is not found
    EXPECT_EQ(ring.State(), CZtKeyRing::kLocked);
    EXPECT_FALSE(token.Login(0, "9999"));
    EXPECT_FALSE(ring.Unlock(Cert(token.KeyObject(0))));
    ASSERT_TRUE(token.Login(0, "1234"));
    EXPECT_TRUE(ring.Unlock(Cert(token.KeyObject(0))));

    // The key file of the same key pair opens the block as well.
    auto alice = KeyFile("a.p12");
    CZtKeyRing again;
    ASSERT_EQ(again.LoadKeyArea(area), 0);
    EXPECT_TRUE(again.Unlock(Cert(alice->KeyObject(0))));
    EXPECT_EQ(again.DocumentKey(), ring.DocumentKey());
}

TEST_F(Pkcs11Test, BlocksOfOtherCertificatesDoNotOpen) {
    auto bob = KeyFile("b.p12");
    auto alice = KeyFile("a.p12");
    std::string area, aliceArea;
    {
        CZtKeyRing ring;
        ASSERT_TRUE(ring.CreateEncryption(Cert(bob->KeyObject(0))));
        area = ring.KeyArea();
    }
    {
        CZtKeyRing ring;
        ASSERT_TRUE(ring.CreateEncryption(Cert(alice->KeyObject(0))));
        aliceArea = ring.KeyArea();
    }
    CZtPkcs11Source token;
    ASSERT_TRUE(token.Load(kModule));
    ASSERT_TRUE(token.ListCertificates());
    ASSERT_EQ(token.Count(), 1u);
    ASSERT_TRUE(token.Login(0, "1234"));
    CZtKeyRing ring;
    ASSERT_EQ(ring.LoadKeyArea(area), 0);
    EXPECT_FALSE(ring.Unlock(Cert(token.KeyObject(0))));
    EXPECT_EQ(ring.State(), CZtKeyRing::kLocked);
    // Released: the sessions are closed and the key object gone; loading again works.
    token.Release();
    EXPECT_EQ(token.Count(), 0u);
    ASSERT_TRUE(token.Load(kModule));
    ASSERT_TRUE(token.ListCertificates());
    ASSERT_TRUE(token.Login(0, "1234"));
    CZtKeyRing ring2;
    ASSERT_EQ(ring2.LoadKeyArea(aliceArea), 0);
    EXPECT_TRUE(ring2.Unlock(Cert(token.KeyObject(0))));
}

} // namespace
