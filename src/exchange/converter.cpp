// Running LibreOffice headless as the text converter.
#include "exchange/converter.h"

#include "base/fileio.h"
#include "base/messages.h"
#include "base/system.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zt {

namespace {

std::mutex gScanMutex;
bool gScanned = false;
std::string gCommand;
std::atomic<int> gTimeoutMs{120000};

// A file URL of an absolute path: every byte outside the unreserved set and
// "/" is percent-encoded.
std::string FileUrl(const std::string& path) {
    static const char* kHex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
            c == '_' || c == '.' || c == '~') {
            url.push_back(char(c));
        } else {
            url.push_back('%');
            url.push_back(kHex[c >> 4]);
            url.push_back(kHex[c & 15]);
        }
    }
    return url;
}

// A private directory for one conversion, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = TempDirectory() + "/zt-convert-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchDir() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace

std::string FindOnPath(std::string_view name, std::string_view path) {
    if (name.empty() || name.find('/') != std::string_view::npos) return {};
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t colon = path.find(':', pos);
        if (colon == std::string_view::npos) colon = path.size();
        std::string dir(path.substr(pos, colon - pos));
        pos = colon + 1;
        // An empty entry or a relative one means the working directory: never.
        if (dir.empty() || dir.front() != '/') continue;
        const std::string candidate = dir + (dir.back() == '/' ? "" : "/") + std::string(name);
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

const std::string& ConverterCommand() {
    std::lock_guard<std::mutex> lock(gScanMutex);
    if (!gScanned) {
        const char* path = std::getenv("PATH");
        gCommand = FindOnPath("soffice", path ? path : "");
        gScanned = true;
    }
    return gCommand;
}

void RescanConverters() {
    std::lock_guard<std::mutex> lock(gScanMutex);
    gScanned = false;
}

int ConverterTimeoutMs() { return gTimeoutMs.load(); }
void SetConverterTimeoutMs(int ms) { gTimeoutMs.store(ms > 0 ? ms : 120000); }

ConvertResult ConvertWithOffice(std::string_view bytes, const std::string& inExt, const std::string& convertTo,
                                const std::string& outExt, std::string& out, const std::string& displayName,
                                std::string& error, const ConverterRun& run, size_t limit) {
    out.clear();
    error.clear();
    const std::string command = ConverterCommand();
    if (command.empty()) {
        error = MessageText(Msg::ConverterMissing);
        return ConvertResult::Missing;
    }
    auto fail = [&](const std::string& why) {
        error = FormatMessage(Msg::ConverterFailed, {displayName, why});
        return ConvertResult::Failed;
    };
    ScratchDir scratch;
    if (scratch.Path().empty()) return fail(SystemErrorText(errno));
    const std::string profile = scratch.Path() + "/profile";
    const std::string outDir = scratch.Path() + "/out";
    const std::string input = scratch.Path() + "/in." + inExt;
    const std::string log = scratch.Path() + "/log";
    if (::mkdir(profile.c_str(), 0700) != 0 || ::mkdir(outDir.c_str(), 0700) != 0)
        return fail(SystemErrorText(errno));
    std::string why;
    if (!WriteFileReplacing(input, bytes, &why, true)) return fail(why);

    std::vector<std::string> args = {command,
                                     "--headless",
                                     "--invisible",
                                     "--norestore",
                                     "--nolockcheck",
                                     "--nodefault",
                                     "--nologo",
                                     "-env:UserInstallation=" + FileUrl(profile),
                                     "--convert-to",
                                     convertTo,
                                     "--outdir",
                                     outDir,
                                     input};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0); // a process group of its own, killed as a whole
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, command.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        error = FormatMessage(Msg::ConverterStartFailed, {SystemErrorText(rc)});
        return ConvertResult::Failed;
    }

    const int timeout = run.timeoutMs > 0 ? run.timeoutMs : ConverterTimeoutMs();
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    ConvertResult stopped = ConvertResult::Ok;
    for (;;) {
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) break;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= timeout) stopped = ConvertResult::TimedOut;
        else if (run.keepGoing && !run.keepGoing()) stopped = ConvertResult::Cancelled;
        if (stopped != ConvertResult::Ok) {
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // What the launcher left running in its group goes too.
    ::kill(-pid, SIGKILL);
    if (stopped == ConvertResult::TimedOut) {
        error = FormatMessage(Msg::ConverterFailed,
                              {displayName, FormatMessage(Msg::ConverterTimedOut, {std::to_string(timeout / 1000)})});
        return stopped;
    }
    if (stopped == ConvertResult::Cancelled) {
        error = MessageText(Msg::ConverterCancelled);
        return stopped;
    }
    const std::string result = outDir + "/in." + outExt;
    struct stat st;
    if (::stat(result.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::string detail = MessageText(Msg::ConverterNoOutput);
        std::string text;
        if (ReadWholeFile(log, text, nullptr, 4096) && !text.empty()) {
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            detail += "\n" + text;
        }
        return fail(detail);
    }
    if (!ReadWholeFile(result, out, &why, limit)) return fail(why);
    return ConvertResult::Ok;
}

} // namespace zt
