#include "ui/handover.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "security/crypto.h"

namespace zt::ui {

namespace {

// Shared by sender and receiver; the label and title make each hand-over's
// keys its own.
constexpr std::string_view kEncPrefix = "ZtxRevEnc01";
constexpr std::string_view kMacPrefix = "ZtxRevMac01";
constexpr std::string_view kEncSalt = "zRvS4lt1";
constexpr std::string_view kMacSalt = "zRvS4lt2";
constexpr uint32_t kIterations = 100;

struct Keys {
    SecureBytes enc, mac;
};

Keys DeriveKeys(std::string_view label, std::string_view title) {
    std::string p1, p2;
    p1.append(kEncPrefix).append(label).append(title);
    p2.append(kMacPrefix).append(label).append(title);
    Keys k{Pbkdf2HmacSha256(p1, kEncSalt, kIterations, 32), Pbkdf2HmacSha256(p2, kMacSalt, kIterations, 32)};
    std::fill(p1.begin(), p1.end(), '\0');
    std::fill(p2.begin(), p2.end(), '\0');
    return k;
}

std::string_view View(const SecureBytes& b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char d = 0;
    for (size_t i = 0; i < a.size(); ++i) d |= static_cast<unsigned char>(a[i] ^ b[i]);
    return d == 0;
}

int Remaining(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

} // namespace

size_t SealedRevisionSize(size_t bodySize) { return 1 + (bodySize / 16) * 16 + 16 + 32; }

std::string SealRevision(std::string_view body, std::string_view label, std::string_view title) {
    Keys k = DeriveKeys(label, title);
    if (k.enc.size() != 32 || k.mac.size() != 32) return {};
    const std::string iv(16, '\0');
    std::optional<std::string> cipher = AesCbcEncrypt(View(k.enc), iv, body, CbcPadding::Pkcs7);
    if (!cipher) return {};
    std::string msg;
    msg.reserve(1 + cipher->size() + 32);
    msg.push_back('\0');
    msg += *cipher;
    SecureBytes tag = HmacSha256(View(k.mac), msg);
    msg.append(View(tag));
    return msg;
}

std::optional<std::string> OpenRevision(std::string_view message, std::string_view label, std::string_view title) {
    if (message.size() < 1 + 16 + 32 || message[0] != '\0' || (message.size() - 33) % 16 != 0) return std::nullopt;
    Keys k = DeriveKeys(label, title);
    std::string_view signedPart = message.substr(0, message.size() - 32);
    SecureBytes tag = HmacSha256(View(k.mac), signedPart);
    if (!ConstantTimeEqual(View(tag), message.substr(message.size() - 32))) return std::nullopt;
    const std::string iv(16, '\0');
    std::optional<SecureBytes> plain = AesCbcDecrypt(View(k.enc), iv, signedPart.substr(1));
    if (!plain || !RemovePkcs7Padding(*plain)) return std::nullopt;
    return std::string(View(*plain));
}

HandOverResult SendRevision(const std::string& program, std::string_view label, std::string_view title,
                            const std::string& message, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return HandOverResult::StartFailed;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return HandOverResult::StartFailed;
    }
    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are made.
    std::vector<std::string> args = {program,           "/revision", std::string(label), "/title",
                                     std::string(title), "/size",     std::to_string(message.size())};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    // Two forks: the middle process ends at once, so the viewer is not our
    // child and lives on after we end.
    pid_t middle = fork();
    if (middle < 0) {
        for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
        return HandOverResult::StartFailed;
    }
    if (middle == 0) {
        pid_t viewer = fork();
        if (viewer == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            execv(argv[0], argv.data());
            _exit(127);
        }
        _exit(viewer < 0 ? 1 : 0);
    }
    close(in[0]);
    close(out[1]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        close(in[1]);
        close(out[0]);
        return HandOverResult::StartFailed;
    }
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    size_t written = 0;
    HandOverResult result = HandOverResult::Done;
    while (written < message.size()) {
        pollfd p{in[1], POLLOUT, 0};
        int r = poll(&p, 1, Remaining(deadline));
        if (r == 0) {
            result = HandOverResult::Timeout;
            break;
        }
        if (r < 0) {
            if (errno == EINTR) continue;
            result = HandOverResult::WriteFailed;
            break;
        }
        ssize_t n = write(in[1], message.data() + written, message.size() - written);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            result = HandOverResult::WriteFailed; // the receiver went away
            break;
        }
        written += size_t(n);
    }
    close(in[1]);
    if (result == HandOverResult::Done) {
        // The receiver answers one byte once it has everything.
        for (;;) {
            pollfd p{out[0], POLLIN, 0};
            int r = poll(&p, 1, Remaining(deadline));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                result = HandOverResult::Timeout;
                break;
            }
            char c = 0;
            ssize_t n = read(out[0], &c, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n != 1) result = HandOverResult::WriteFailed;
            break;
        }
    }
    close(out[0]);
    return result;
}

std::optional<std::string> ReceiveRevision(size_t size, int timeoutMs) {
    if (size > kMaxRevisionMessage) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string data;
    // Grows with what arrives instead of trusting the announced size.
    char buf[65536];
    while (data.size() < size) {
        pollfd p{0, POLLIN, 0};
        int r = poll(&p, 1, Remaining(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return std::nullopt;
        ssize_t n = read(0, buf, std::min(sizeof buf, size - data.size()));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return std::nullopt;
        data.append(buf, size_t(n));
    }
    const char ack = 1;
    ssize_t w = write(1, &ack, 1);
    (void)w;
    // Nothing more goes to the sender.
    int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devnull >= 0) {
        dup2(devnull, 1);
        close(devnull);
    }
    return data;
}

} // namespace zt::ui
