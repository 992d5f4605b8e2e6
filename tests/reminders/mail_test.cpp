// Reminder mail end to end against a real SMTP server on loopback: the
// message, its attached document, and a server that refuses the login.
#include "base/cp1252.h"
#include "core/document.h"
#include "reminders/remindermail.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zt {
namespace {

const char* kPython = "/usr/bin/python3";

bool HaveAiosmtpd() {
    return std::system("/usr/bin/python3 -c 'import aiosmtpd' >/dev/null 2>&1") == 0;
}

bool WaitFor(const std::string& path, int ms = 15000) {
    for (int i = 0; i < ms / 20; ++i) {
        if (std::filesystem::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// The SMTP sink of smtp_sink.py in a directory of its own.
class SmtpSink {
public:
    explicit SmtpSink(const std::string& credentials = {}) {
        const std::string script = std::string(ZT_TEST_SCRIPTS) + "/smtp_sink.py";
        pid_ = fork();
        if (pid_ == 0) {
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) dup2(null, 2);
            if (credentials.empty()) execl(kPython, kPython, script.c_str(), dir_.path().c_str(), nullptr);
            else execl(kPython, kPython, script.c_str(), dir_.path().c_str(), credentials.c_str(), nullptr);
            _exit(127);
        }
        if (WaitFor(dir_ / "port")) port_ = std::stoi(test::ReadFile(dir_ / "port"));
    }
    ~SmtpSink() {
        test::WriteFile(dir_ / "stop", "");
        int status = 0;
        for (int i = 0; i < 250 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    int Port() const { return port_; }
    std::string Mail(int n) const { return dir_ / ("mail-" + std::to_string(n)); }
    bool Has(int n) const { return std::filesystem::exists(Mail(n) + ".eml"); }

private:
    test::TempDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

std::string Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

class ReminderMail : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveAiosmtpd()) GTEST_SKIP() << "python3-aiosmtpd is not installed (scripts/setup.sh installs it)";
        setenv("TMP", tmp.path().c_str(), 1);
        doc.New();
        doc.Archive().Header().title = "Mein Dokument";
        root = doc.AddPage(nullptr, "\xDC" "bergabe");
        child = doc.AddPage(root, "Kind");
        doc.AddPage(child, "Enkel");
        doc.AddPage(nullptr, "Andere");
        doc.SetPageText(root, "{\\rtf1 Hallo}");
        doc.Archive().SetModified(false);
    }
    void TearDown() override { unsetenv("TMP"); }

    CZTReminder MailReminder(int32_t flags) {
        CZTReminder r;
        r.time = 1800000000;
        r.page = root->Ident();
        r.text = "Termin \xDC" "bergabe"; // Windows-1252
        r.address = "SMTP:bob@example.org";
        r.recipient = "Bob M\xFCller";
        r.flags = kReminderActive | kReminderMail | flags;
        return r;
    }
    CZTReminderMailContext Context(int port) {
        CZTReminderMailContext c;
        c.settings.server = "127.0.0.1";
        c.settings.port = port;
        c.settings.tls = MailTls::None;
        c.settings.sender = "alice@example.org";
        c.passwords = &passwords;
        c.composeBody = [](CZTPageNode* page, bool subtree) {
            return std::string("Text von ") + (subtree ? "Baum " : "Seite ") + Cp1252ToUtf8(page->Title());
        };
        return c;
    }
    // Decodes mail n of the sink into `out`.
    void Extract(const SmtpSink& sink, int n, const test::TempDir& out) {
        ASSERT_TRUE(WaitFor(sink.Mail(n) + ".eml"));
        const std::string cmd = std::string(kPython) + " " + ZT_TEST_SCRIPTS + "/extract_mail.py " + sink.Mail(n) +
                                ".eml " + out.path();
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    bool TempFilesLeft() const {
        for (const auto& e : std::filesystem::directory_iterator(tmp.path()))
            if (e.path().filename().string().rfind("afx", 0) == 0) return true;
        return false;
    }

    test::TempDir tmp;
    test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    CZTMailPasswords passwords{prompter};
    CZTPageNode* root = nullptr;
    CZTPageNode* child = nullptr;
    CZTReminderList list;
};

TEST_F(ReminderMail, SubtreeArrivesAsDocument) {
    SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    const CZTMailResult result =
        SendReminderMail(doc, list, MailReminder(kReminderAttach | kReminderSubtree), 1800000000, Context(sink.Port()), prompter);
    ASSERT_TRUE(result.ok) << result.error;
    test::TempDir out;
    Extract(sink, 1, out);
    EXPECT_EQ(test::ReadFile(sink.Mail(1) + ".env"), "alice@example.org\nbob@example.org\n");
    EXPECT_EQ(test::ReadFile(out / "headers"),
              "From: alice@example.org\nTo: Bob Müller <bob@example.org>\nSubject: Termin Übergabe\n");
    EXPECT_EQ(test::ReadFile(out / "body").rfind("Text siehe Anlage.\n", 0), 0u);
    EXPECT_EQ(test::ReadFile(out / "attachment-name"), "Übergabe.ztd");
    const std::string listing = Shell(std::string(ZT_ZTD) + " ls " + out / "attachment");
    EXPECT_EQ(listing, "Übergabe\n  Kind\n    Enkel\n");
    EXPECT_NE(Shell(std::string(ZT_ZTD) + " cat " + out / "attachment" + " '/Übergabe'").find("Hallo"), std::string::npos);
    // The document itself is as it was.
    EXPECT_EQ(doc.Archive().Header().title, "Mein Dokument");
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(TempFilesLeft());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(list.Empty());
}

TEST_F(ReminderMail, PageAloneAndPlainBodies) {
    SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    const auto ctx = Context(sink.Port());
    ASSERT_TRUE(SendReminderMail(doc, list, MailReminder(kReminderAttach), 1800000000, ctx, prompter).ok);
    ASSERT_TRUE(SendReminderMail(doc, list, MailReminder(kReminderSubtree), 1800000000, ctx, prompter).ok);
    CZTReminder general = MailReminder(0);
    general.page = 0;
    ASSERT_TRUE(SendReminderMail(doc, list, general, 1800000000, ctx, prompter).ok);
    test::TempDir one, two, three;
    Extract(sink, 1, one);
    Extract(sink, 2, two);
    Extract(sink, 3, three);
    EXPECT_EQ(Shell(std::string(ZT_ZTD) + " ls " + one / "attachment"), "Übergabe\n");
    EXPECT_NE(test::ReadFile(two / "body").find("Text von Baum Übergabe"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(two / "attachment"));
    EXPECT_EQ(test::ReadFile(three / "body"), "");
    EXPECT_FALSE(TempFilesLeft());
}

TEST_F(ReminderMail, ForeignReminderNotAllowedSendsNothing) {
    SmtpSink sink;
    CZTReminder r = MailReminder(kReminderAttach);
    r.mayMail = false;
    EXPECT_TRUE(SendReminderMail(doc, list, r, 1800000000, Context(sink.Port()), prompter).ok);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(sink.Has(1));
}

TEST_F(ReminderMail, RefusedLoginTellsOnceAndKeepsTheReminderDue) {
    SmtpSink sink("alice:secret");
    ASSERT_GT(sink.Port(), 0);
    auto ctx = Context(sink.Port());
    ctx.settings.user = "alice";
    prompter.credentials.push_back(std::make_pair(std::string("alice"), std::string("wrong")));
    const int64_t now = 1800000000;
    const CZTMailResult first = SendReminderMail(doc, list, MailReminder(kReminderAttach), now, ctx, prompter);
    EXPECT_FALSE(first.ok);
    EXPECT_TRUE(first.loginRefused);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.messages[0].find("Der E-Mail-Server hat die Anmeldung abgelehnt."), std::string::npos);
    EXPECT_NE(prompter.messages[0].find("Termin Übergabe"), std::string::npos);
    ASSERT_EQ(list.Size(), 1u);
    const CZTReminder retry = list.Items()[0];
    EXPECT_EQ(retry.time, now + kMailRetryDelay);
    EXPECT_TRUE(retry.Mail());
    EXPECT_TRUE(retry.mailRetry);
    EXPECT_EQ(list.Due(now + kMailRetryDelay).size(), 1u);
    EXPECT_FALSE(TempFilesLeft());

    // The retry fails again: no second message, still due.
    list.Clear();
    prompter.credentials.push_back(std::make_pair(std::string("alice"), std::string("still wrong")));
    EXPECT_FALSE(SendReminderMail(doc, list, retry, now + 300, ctx, prompter).ok);
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(list.Size(), 1u);

    // With the right password the mail goes, and the password is kept for the run.
    list.Clear();
    prompter.credentials.push_back(std::make_pair(std::string("alice"), std::string("secret")));
    EXPECT_TRUE(SendReminderMail(doc, list, retry, now + 600, ctx, prompter).ok);
    EXPECT_TRUE(SendReminderMail(doc, list, retry, now + 600, ctx, prompter).ok);
    EXPECT_EQ(prompter.credentialQuestions.size(), 3u);
    EXPECT_TRUE(WaitFor(sink.Mail(2) + ".eml"));
    EXPECT_TRUE(list.Empty());
}

TEST_F(ReminderMail, AddressForms) {
    EXPECT_EQ(BareAddress("SMTP:a@b.de"), "a@b.de");
    EXPECT_EQ(BareAddress("smtp:a@b.de"), "a@b.de");
    EXPECT_EQ(BareAddress("a@b.de"), "a@b.de");
    CZTMailJob job;
    job.address = "a@b.de>\r\nRCPT TO:<c@d.de";
    CZTMailSettings s;
    s.server = "127.0.0.1";
    s.port = 1;
    s.sender = "x@y.de";
    const CZTMailResult r = SendMail(job, s, "");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Ungültige E-Mail-Adresse"), std::string::npos);
    EXPECT_FALSE(SendMail(job, CZTMailSettings{}, "").ok);
}

} // namespace
} // namespace zt
