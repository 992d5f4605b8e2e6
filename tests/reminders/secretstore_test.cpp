// The mail password in a real Secret Service: a gnome-keyring daemon on a
// private session bus of the test's own, with a fresh home directory, so
// that nothing of the user's keyring is read or changed.
#include "reminders/remindermail.h"
#include "reminders/secretstore.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifdef ZT_HAVE_LIBSECRET
#include <gio/gio.h>
#endif

namespace zt {
namespace {

std::string FindProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// Restores an environment variable when the test ends.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~EnvVar() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

pid_t Start(const std::vector<std::string>& args, const std::vector<std::string>& env, int in, int out) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (in >= 0) dup2(in, 0);
    if (out >= 0) dup2(out, 1);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
}

// dbus-daemon on a socket in a temporary directory, and gnome-keyring's
// secrets component on it with an unlocked login keyring.
class PrivateKeyring {
public:
    PrivateKeyring() {
        const std::string dbus = FindProgram("dbus-daemon"), keyring = FindProgram("gnome-keyring-daemon");
        if (dbus.empty() || keyring.empty()) return;
        const std::string home = dir_ / "home", runtime = dir_ / "run";
        std::filesystem::create_directories(home);
        mkdir(runtime.c_str(), 0700);
        env_ = {"HOME=" + home, "XDG_RUNTIME_DIR=" + runtime, "XDG_DATA_HOME=" + home + "/.local/share",
                "XDG_CONFIG_HOME=" + home + "/.config"};
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        // A bus of its own that starts no services: only the daemon below
        // may answer for the Secret Service.
        test::WriteFile(dir_ / "bus.conf",
                        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                        "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                        "<busconfig><type>session</type><listen>unix:path=" + dir_ / "bus" + "</listen>"
                        "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                        "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        bus_ = Start({dbus, "--config-file=" + dir_ / "bus.conf", "--nofork", "--print-address=1"}, env_, -1, out[1]);
        close(out[1]);
        std::string line;
        char c;
        while (line.size() < 4096 && read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
        close(out[0]);
        if (line.empty()) return;
        address_ = line;
        env_.push_back("DBUS_SESSION_BUS_ADDRESS=" + address_);
        int in[2];
        if (pipe2(in, O_CLOEXEC) != 0) return;
        daemon_ = Start({keyring, "--foreground", "--unlock", "--components=secrets"}, env_, in[0], -1);
        close(in[0]);
        // The login keyring's password, then the end of input.
        (void)!write(in[1], "zettrix-test", 12);
        close(in[1]);
        // Ready once the service answers on the bus.
        const std::string send = FindProgram("dbus-send");
        for (int i = 0; i < 250 && !send.empty(); ++i) {
            const std::string cmd = "DBUS_SESSION_BUS_ADDRESS='" + address_ + "' " + send +
                                    " --session --print-reply --dest=org.freedesktop.secrets /org/freedesktop/secrets "
                                    "org.freedesktop.Secret.Service.ReadAlias string:default 2>/dev/null | grep -q login";
            if (std::system(cmd.c_str()) == 0) {
                ready_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    }
    ~PrivateKeyring() {
        Stop(daemon_);
        Stop(bus_);
    }
    bool Ready() const { return ready_; }
    const std::string& Address() const { return address_; }
    std::string Home() const { return dir_ / "home"; }

private:
    test::TempDir dir_;
    std::vector<std::string> env_;
    std::string address_;
    pid_t bus_ = -1, daemon_ = -1;
    bool ready_ = false;
};

bool FileContains(const std::filesystem::path& root, const std::string& needle) {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        if (test::ReadFile(it->path().string()).find(needle) != std::string::npos) return true;
    }
    return false;
}

TEST(SecretStore, MailPasswordLivesInTheKeyringOnly) {
#ifndef ZT_HAVE_LIBSECRET
    GTEST_SKIP() << "built without libsecret (libsecret-1-dev, scripts/setup.sh)";
#else
    if (FindProgram("gnome-keyring-daemon").empty() || FindProgram("dbus-daemon").empty())
        GTEST_SKIP() << "gnome-keyring or dbus-daemon is not installed (scripts/setup.sh installs them)";
    PrivateKeyring keyring;
    ASSERT_TRUE(keyring.Ready()) << "the private Secret Service did not come up";
    EnvVar bus("DBUS_SESSION_BUS_ADDRESS", keyring.Address().c_str());
    EnvVar on("ZT_NO_SECRET_STORE", nullptr);
    // The process's session bus connection (which libsecret takes too) is
    // made here, to the private bus; that bus goes away before the process,
    // which must not end it.
    GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_NE(connection, nullptr);
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    g_object_unref(connection);
    ASSERT_TRUE(SecretStoreAvailable());

    const std::string server = "smtp.example.org", secret = "geheim-\xC3\xA4-4711";
    std::string found;
    EXPECT_FALSE(LookupMailPassword(server, "anna", found));
    ASSERT_TRUE(StoreMailPassword(server, "anna", secret));
    ASSERT_TRUE(LookupMailPassword(server, "anna", found));
    EXPECT_EQ(found, secret);
    // What the keyring keeps on the disk is encrypted.
    EXPECT_TRUE(std::filesystem::exists(keyring.Home() + "/.local/share/keyrings/login.keyring"));
    EXPECT_FALSE(FileContains(keyring.Home(), secret));
    // Kept per server and user.
    EXPECT_FALSE(LookupMailPassword(server, "bert", found));
    EXPECT_FALSE(LookupMailPassword("smtp.example.com", "anna", found));
    // Storing again replaces it.
    ASSERT_TRUE(StoreMailPassword(server, "anna", "neu"));
    ASSERT_TRUE(LookupMailPassword(server, "anna", found));
    EXPECT_EQ(found, "neu");

    // The mail's password source: the keyring first, the user only without
    // an entry; a refused login removes the entry, an accepted one keeps it.
    test::ScriptedPrompter prompter;
    CZTMailSettings settings;
    settings.server = server;
    settings.user = "anna";
    {
        CZTMailPasswords passwords(prompter);
        std::string pw;
        ASSERT_TRUE(passwords.Get(settings, pw));
        EXPECT_EQ(pw, "neu");
        EXPECT_TRUE(prompter.credentialQuestions.empty());
        passwords.Refused(settings);
        EXPECT_FALSE(LookupMailPassword(server, "anna", found));
        prompter.credentials.push_back(std::make_pair(std::string("anna"), std::string("richtig")));
        ASSERT_TRUE(passwords.Get(settings, pw));
        EXPECT_EQ(prompter.credentialQuestions.size(), 1u);
        passwords.Accepted(settings, pw);
    }
    ASSERT_TRUE(LookupMailPassword(server, "anna", found));
    EXPECT_EQ(found, "richtig");
    ClearMailPassword(server, "anna");
    EXPECT_FALSE(LookupMailPassword(server, "anna", found));
#endif
}

TEST(SecretStore, OffWithoutASessionBus) {
    EnvVar bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    EnvVar on("ZT_NO_SECRET_STORE", nullptr);
    EXPECT_FALSE(SecretStoreAvailable());
    std::string found;
    EXPECT_FALSE(LookupMailPassword("smtp.example.org", "anna", found));
    EXPECT_FALSE(StoreMailPassword("smtp.example.org", "anna", "x"));
}

} // namespace
} // namespace zt
