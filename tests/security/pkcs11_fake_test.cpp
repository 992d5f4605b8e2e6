// Drivers that misbehave: a library that is no driver, a driver without
// C_GetFunctionList (usable through its single exports), drivers that never
// return from a call (given up after the call timeout instead of hanging the
// caller), and a token key that refuses to decrypt. The drivers are the small
// fakes of fakep11/, built with the tests.
#include "security/keyring.h"
#include "security/p11modules.h"
#include "security/pkcs11source.h"

#include "base/messages.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

using namespace zt;
using namespace std::chrono_literals;
using Failure = CZtPkcs11Source::Failure;

namespace {

bool Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

class FakeDriverTest : public ::testing::Test {
protected:
    static inline test::TempDir* dir = nullptr;
    static inline bool haveCert = false;
    static void SetUpTestSuite() {
        dir = new test::TempDir;
        const std::string d = dir->path();
        haveCert = Sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + d + "/k.pem -out " + d +
                      "/c.pem -subj /CN=Fake -days 30") &&
                   Sh("openssl x509 -in " + d + "/c.pem -outform DER -out " + d + "/c.der");
        setenv("ZT_FAKE_P11_CERT", (d + "/c.der").c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override {
        unsetenv("ZT_FAKE_P11_HANG");
        if (!haveCert) GTEST_SKIP() << "openssl could not make the test certificate";
    }
    void TearDown() override { unsetenv("ZT_FAKE_P11_HANG"); }
};

TEST_F(FakeDriverTest, LibrariesThatAreNoDriverSayWhy) {
    struct Case {
        std::string path;
        Failure failure;
        const char* reason; // a piece of the text
    };
    const Case cases[] = {
        {ZT_NOT_P11, Failure::NoFunctions, "C_GetFunctionList"},
        {dir->path() + "/missing.so", Failure::NotLoadable, "missing.so"},
        {dir->path() + "/c.der", Failure::NotLoadable, "Das Modul lässt sich nicht laden"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CZtPkcs11Source source;
        EXPECT_FALSE(source.Load(c.path));
        EXPECT_EQ(source.LastFailure(), c.failure);
        const std::string text = source.FailureText();
        EXPECT_EQ(text.rfind(FormatMessage(Msg::Pkcs11DriverUnusable, {c.path}), 0), 0u) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_FALSE(source.ListCertificates());
    }
}

TEST_F(FakeDriverTest, DriverWithoutFunctionListWorksThroughItsExports) {
    CZtPkcs11Source source;
    ASSERT_TRUE(source.Load(ZT_FAKE_P11_EXPORTS)) << source.FailureText();
    ASSERT_TRUE(source.ListCertificates());
    ASSERT_EQ(source.Count(), 1u);
    EXPECT_EQ(source.Certificate(0).certificate.subject, "CN=Fake");
    EXPECT_EQ(source.Certificate(0).tokenLabel, "Fake");
    EXPECT_TRUE(source.Certificate(0).loginRequired);
    EXPECT_FALSE(source.Login(0, "0000"));
    EXPECT_FALSE(source.PinLocked());
    EXPECT_TRUE(source.Login(0, "1234"));
}

// A call that never returns costs the caller the timeout, not more; the
// driver is given up, its later calls refuse at once, and the wait hook ran
// while waiting.
TEST_F(FakeDriverTest, HangingCallsAreGivenUpAfterTheTimeout) {
    for (const char* hang : {"initialize", "slots", "login"}) {
        SCOPED_TRACE(hang);
        setenv("ZT_FAKE_P11_HANG", hang, 1);
        CZtPkcs11Source source;
        source.SetCallTimeout(300ms);
        int waits = 0;
        source.SetWaitHook([&waits] { ++waits; });
        const auto start = std::chrono::steady_clock::now();
        bool ok = source.Load(ZT_FAKE_P11) && source.ListCertificates() && source.Login(0, "1234");
        EXPECT_FALSE(ok);
        EXPECT_TRUE(source.TimedOut());
        EXPECT_EQ(source.LastFailure(), Failure::TimedOut);
        EXPECT_EQ(source.FailureText(), FormatMessage(Msg::Pkcs11TimedOut, {ZT_FAKE_P11, "1"}));
        EXPECT_GT(waits, 0);
        // Nothing more is asked of the driver; releasing does not wait for it.
        EXPECT_FALSE(source.ListCertificates());
        source.Release();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    }
    // The same driver, answering again, is usable by a fresh load.
    unsetenv("ZT_FAKE_P11_HANG");
    CZtPkcs11Source source;
    ASSERT_TRUE(source.Load(ZT_FAKE_P11));
    ASSERT_TRUE(source.ListCertificates());
    EXPECT_TRUE(source.Login(0, "1234"));
}

// A signature-only token key: a key block for the certificate is made from
// its public key, but the token refuses to decrypt it, so the block does not
// open and the ring stays locked with the key ring's message.
TEST_F(FakeDriverTest, KeyThatCannotDecryptLeavesTheRingLocked) {
    CZtPkcs11Source source;
    ASSERT_TRUE(source.Load(ZT_FAKE_P11));
    ASSERT_TRUE(source.ListCertificates());
    ASSERT_EQ(source.Count(), 1u);
    ASSERT_TRUE(source.Login(0, "1234"));
    std::string area;
    {
        CZtKeyRing ring;
        ASSERT_TRUE(ring.CreateEncryption({"", "", source.KeyObject(0)}));
        area = ring.KeyArea();
    }
    test::ScriptedPrompter prompter;
    CZtKeyRing ring(&prompter);
    ASSERT_EQ(ring.LoadKeyArea(area), 0);
    EXPECT_FALSE(ring.Unlock({"", "", source.KeyObject(0)}));
    EXPECT_EQ(ring.State(), CZtKeyRing::kLocked);
    EXPECT_TRUE(ring.DocumentKey().empty());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], MessageText(Msg::KeyMacBad));
}

TEST(P11KitModules, ConfigsListModulesWithoutTheTrustModule) {
    test::TempDir dir;
    const std::string user = dir / "user", system = dir / "system";
    std::filesystem::create_directories(user);
    std::filesystem::create_directories(system);
    test::WriteFile(system + "/softhsm2.module", "module: /usr/lib/softhsm/libsofthsm2.so\n");
    test::WriteFile(system + "/opensc.module", "# comment\nmodule: opensc-pkcs11.so\n");
    test::WriteFile(system + "/p11-kit-trust.module", "module: p11-kit-trust.so\ntrust-policy: yes\n");
    test::WriteFile(system + "/other.module", "module: other.so\nenable-in: firefox, seahorse\n");
    test::WriteFile(system + "/mine.module", "module: mine.so\nenable-in: zettrix\n");
    test::WriteFile(system + "/broken.module", "no module line here\n");
    test::WriteFile(system + "/readme.txt", "module: nothing.so\n");
    // The user's file of the same name wins.
    test::WriteFile(user + "/opensc.module", "module: /opt/opensc/opensc-pkcs11.so\n");
    auto modules = ListP11KitModules({user, system, dir / "missing"}, "/usr/lib/pkcs11");
    std::vector<std::pair<std::string, std::string>> got;
    for (auto& m : modules) got.emplace_back(m.name, m.path);
    const std::vector<std::pair<std::string, std::string>> want{
        {"mine", "/usr/lib/pkcs11/mine.so"},
        {"opensc", "/opt/opensc/opensc-pkcs11.so"},
        {"softhsm2", "/usr/lib/softhsm/libsofthsm2.so"},
    };
    EXPECT_EQ(got, want);
}

} // namespace
