// HTTPS with a self-signed certificate: the first use asks, a trusted
// certificate is kept and asks nothing, a changed one asks again.
#include "fixture.h"

#include "base/messages.h"

using namespace zt;
using namespace zt::test;

namespace {

bool MakeCertificate(const std::string& dir, const std::string& name) {
    std::string out;
    return RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", dir + "/" + name + ".key",
                       "-out", dir + "/" + name + ".crt", "-days", "2", "-subj", "/CN=127.0.0.1"},
                      {}, &out) == 0;
}

} // namespace

TEST_F(RemoteTest, HttpsCertificateTrust) {
    if (RunProgram({"openssl", "version"}) != 0) GTEST_SKIP() << "openssl is not installed";
    ASSERT_TRUE(MakeCertificate(dir_.path(), "one"));
    ASSERT_TRUE(MakeCertificate(dir_.path(), "two"));
    StartServer({"--cert", dir_ / "one.crt", "--key", dir_ / "one.key"});

    MemoryTrust trust;
    int asked = 0;
    remote::TrustDecision answer = remote::TrustDecision::Trust;
    std::string shown;
    auto link = [&] {
        remote::Connection c = Conn("alice");
        c.ssl = true;
        auto l = std::make_unique<remote::CServerLink>(prompter_, c);
        l->Transport().trust = &trust;
        l->Transport().askTrust = [&](const std::string& der) {
            ++asked;
            shown = remote::DescribeCertificate(der);
            return answer;
        };
        return l;
    };
    srv::GetContentAnswer list;
    // First use: asked once; "Vertrauen" keeps the certificate.
    ASSERT_TRUE(link()->LoadContentList(list));
    EXPECT_EQ(asked, 1);
    EXPECT_NE(shown.find("CN = 127.0.0.1"), std::string::npos) << shown;
    ASSERT_EQ(remote::DecodeTrustedList(trust.der).size(), 1u);
    // Trusted: nothing is asked, also for a keep-alive (silent).
    ASSERT_TRUE(link()->LoadContentList(list));
    EXPECT_EQ(asked, 1);

    // The server shows another certificate: asked again; "Ablehnen" refuses
    // the connection and stores nothing.
    server_->Stop();
    StartServer({"--cert", dir_ / "two.crt", "--key", dir_ / "two.key"});
    answer = remote::TrustDecision::Refuse;
    prompter_.messages.clear();
    EXPECT_FALSE(link()->LoadContentList(list));
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_EQ(remote::DecodeTrustedList(trust.der).size(), 1u);
    // Silent requests refuse an unknown certificate without asking.
    auto silent = link();
    silent->silent = true;
    EXPECT_FALSE(silent->LoadContentList(list));
    EXPECT_EQ(asked, 2);
    // Trusted now: both certificates are kept, in order.
    answer = remote::TrustDecision::Trust;
    ASSERT_TRUE(link()->LoadContentList(list));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(remote::DecodeTrustedList(trust.der).size(), 2u);
}
