#include "harness.h"

#include "core/compress.h"
#include "security/protocol.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

namespace zt::test {

namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int outFd, int errFd) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (outFd >= 0) dup2(outFd, 1);
    if (errFd >= 0) dup2(errFd, 2);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    for (const auto& e : env) putenv(strdup(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

} // namespace

int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env, std::string* output) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    pid_t pid = Spawn(argv, env, fds[1], fds[1]);
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0) return -1;
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int FreePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    int port = ntohs(a.sin_port);
    close(s);
    return port;
}

// ---- PostgreSQL ----

std::string CPgCluster::BinDir() {
    std::error_code ec;
    std::string best;
    for (const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
        std::string bin = e.path().string() + "/bin";
        if (std::filesystem::exists(bin + "/initdb") && bin > best) best = bin;
    }
    return best;
}

CPgCluster::CPgCluster() {
    bin_ = BinDir();
    if (bin_.empty()) {
        error_ = "PostgreSQL is not installed";
        return;
    }
    data_ = dir_ / "data";
    std::vector<std::string> prefix;
    if (getuid() == 0) {
        // initdb refuses to run as root: the cluster belongs to "nobody".
        passwd* pw = getpwnam("nobody");
        if (!pw) {
            error_ = "no user nobody";
            return;
        }
        if (chown(dir_.path().c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            error_ = "chown failed";
            return;
        }
        prefix = {"setpriv", "--reuid=" + std::to_string(pw->pw_uid), "--regid=" + std::to_string(pw->pw_gid),
                  "--clear-groups", "--"};
        user_ = "nobody";
    } else {
        passwd* pw = getpwuid(getuid());
        user_ = pw ? pw->pw_name : "postgres";
    }
    auto run = [&](std::vector<std::string> args) {
        std::vector<std::string> all = prefix;
        all.insert(all.end(), args.begin(), args.end());
        std::string out;
        int rc = RunProgram(all, {"LC_ALL=C", "HOME=" + dir_.path()}, &out);
        if (rc != 0) error_ = args[0] + " failed: " + out;
        return rc == 0;
    };
    if (!run({bin_ + "/initdb", "-D", data_, "-A", "trust", "-E", "UTF8", "--locale=C", "-U", user_})) return;
    port_ = FreePort();
    std::string opts = "-c listen_addresses=127.0.0.1 -c port=" + std::to_string(port_) + " -k " + dir_.path() +
                       " -c fsync=off -c max_connections=200";
    if (!run({bin_ + "/pg_ctl", "-D", data_, "-o", opts, "-l", dir_ / "pg.log", "-w", "start"})) return;
    started_ = true;
    ok_ = true;
}

CPgCluster::~CPgCluster() {
    if (!started_) return;
    std::vector<std::string> args = {bin_ + "/pg_ctl", "-D", data_, "-m", "immediate", "stop"};
    if (getuid() == 0) {
        passwd* pw = getpwnam("nobody");
        args.insert(args.begin(), {"setpriv", "--reuid=" + std::to_string(pw->pw_uid),
                                   "--regid=" + std::to_string(pw->pw_gid), "--clear-groups", "--"});
    }
    RunProgram(args);
}

std::string CPgCluster::NewDatabase() {
    std::string name = "zt" + std::to_string(++next_);
    std::string out;
    int rc = RunProgram({bin_ + "/createdb", "-h", "127.0.0.1", "-p", std::to_string(port_), "-U", user_, name}, {},
                        &out);
    if (rc != 0) return {};
    return "postgresql://" + user_ + "@127.0.0.1:" + std::to_string(port_) + "/" + name;
}

// ---- server process ----

CServerProcess::CServerProcess(std::string db, std::string workDir) : db_(std::move(db)), work_(std::move(workDir)) {}

CServerProcess::~CServerProcess() { Stop(); }

bool CServerProcess::AddUser(const std::string& name, const std::string& password, int level) {
    return RunProgram({ZT_SERVER_BIN, "--db", db_, "adduser", name, "--level", std::to_string(level)},
                      {"ZT_PASSWORD=" + password}) == 0;
}

bool CServerProcess::Start(const std::vector<std::string>& extra) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    int err = open((work_ + "/server.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<std::string> argv = {ZT_SERVER_BIN, "--db", db_, "--listen", "127.0.0.1:0"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    pid_ = Spawn(argv, {"ZT_SERVER_CLOCK_FILE=" + ClockFile()}, fds[1], err);
    close(fds[1]);
    close(err);
    std::string line;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    close(fds[0]);
    auto colon = line.rfind(':');
    if (line.rfind("listening ", 0) != 0 || colon == std::string::npos) return false;
    port_ = std::atoi(line.c_str() + colon + 1);
    return port_ > 0;
}

void CServerProcess::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string CServerProcess::LogText() const { return ReadFile(work_ + "/server.log"); }

void CServerProcess::SetClockOffset(long seconds) { WriteFile(ClockFile(), std::to_string(seconds) + "\n"); }

// ---- client ----

CClient::CClient(int port, std::string u, std::string p, bool https)
    : user(std::move(u)), password(std::move(p)), port_(port), https_(https) {
    static int counter = 0;
    // Distinct sessions within one second need distinct idents.
    ident = srv::NewSessionIdent() + " #" + std::to_string(++counter);
}

HttpAnswer CClient::Post(const std::string& body, bool protocolHeaders) const {
    httplib::Headers headers;
    if (protocolHeaders) headers.emplace("Zettrix", "XML2");
    std::string type = protocolHeaders ? "text/xml" : "application/octet-stream";
    std::string path = "/" + std::string(srv::kDefaultScriptPath);
    HttpAnswer a;
    auto take = [&](httplib::Result res) {
        if (!res) return;
        a.status = res->status;
        for (const auto& [k, v] : res->headers) a.headers += k + ": " + v + "\r\n";
        a.body = res->body;
    };
    if (https_) {
        httplib::SSLClient cli("127.0.0.1", port_);
        cli.enable_server_certificate_verification(false);
        cli.set_read_timeout(30, 0);
        take(cli.Post(path.c_str(), headers, body, type.c_str()));
    } else {
        httplib::Client cli("127.0.0.1", port_);
        cli.set_read_timeout(30, 0);
        take(cli.Post(path.c_str(), headers, body, type.c_str()));
    }
    return a;
}
std::string CClient::RequestText(const srv::RequestBody& body) const {
    srv::Request r;
    r.head.ztident = ident;
    r.head.zttime = int64_t(std::time(nullptr));
    r.head.user = user;
    r.head.hauth = std::string(std::string_view(Hauth(user, password)));
    r.body = body;
    r.head.declaration = r.kind() != srv::Kind::GetContent;
    return srv::BuildRequestText(r);
}

srv::OpenedAnswer CClient::Send(const srv::RequestBody& body, std::string* sentEnvelope,
                                const std::string* openWith) const {
    std::string env = srv::BuildEnvelope(RequestText(body), ident, user, password);
    if (sentEnvelope) *sentEnvelope = env;
    HttpAnswer a = Post(env);
    srv::OpenedAnswer opened;
    srv::OpenAnswer(a.body, a.headers, user, openWith ? *openWith : password, opened);
    return opened;
}

std::string Compressed(std::string_view text) { return CompressBuffer(text); }

} // namespace zt::test
