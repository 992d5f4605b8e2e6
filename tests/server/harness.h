// Test harness for zettrix-server: starts the real server binary in a temp
// dir on a loopback port (SQLite, or a throw-away PostgreSQL cluster), adds
// users, and sends requests built with the program's own message builders.
#pragma once

#include "server/answers.h"
#include "server/envelope.h"
#include "server/requests.h"
#include "support/tempdir.h"

#include <memory>
#include <string>
#include <vector>

namespace zt::test {

// Runs a program and waits for it; returns its exit status (-1 when it
// could not run). `env` entries are "NAME=value" added to the environment.
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               std::string* output = nullptr);

// A free loopback TCP port (bound once and released).
int FreePort();

// A PostgreSQL cluster in a temp dir, run as an unprivileged user when the
// tests run as root. Empty `BinDir()` when PostgreSQL is not installed.
class CPgCluster {
  public:
    static std::string BinDir();
    CPgCluster();
    ~CPgCluster();
    bool Ok() const { return ok_; }
    const std::string& Error() const { return error_; }
    // A new empty database; its connection address.
    std::string NewDatabase();

  private:
    TempDir dir_;
    std::string bin_, user_, data_;
    int port_ = 0, next_ = 0;
    bool ok_ = false, started_ = false;
    std::string error_;
};

class CServerProcess {
  public:
    // `db` is a SQLite file or a postgresql:// address.
    CServerProcess(std::string db, std::string workDir);
    ~CServerProcess();
    bool AddUser(const std::string& name, const std::string& password, int level);
    // Starts serving with `extra` options; false when no address was printed.
    bool Start(const std::vector<std::string>& extra = {});
    void Stop();
    int Port() const { return port_; }
    const std::string& Db() const { return db_; }
    std::string LogText() const;
    std::string ClockFile() const { return work_ + "/clock"; }
    void SetClockOffset(long seconds);

  private:
    std::string db_, work_;
    int pid_ = -1, port_ = 0;
};

// The transfer result of one POST.
struct HttpAnswer {
    int status = 0;
    std::string headers; // "Name: value\r\n" lines
    std::string body;
};

// One client session: user, password and ZTIDENT.
class CClient {
  public:
    CClient(int port, std::string user, std::string password, bool https = false);
    std::string ident;
    std::string user, password;

    // POSTs `body` with the protocol's headers (or `headers` when given).
    HttpAnswer Post(const std::string& body, bool protocolHeaders = true) const;
    // Builds, seals and sends one request; opens the answer.
    // `openWith` opens the answer with another password (the password change).
    srv::OpenedAnswer Send(const srv::RequestBody& body, std::string* sentEnvelope = nullptr,
                           const std::string* openWith = nullptr) const;
    // The request text the program would send.
    std::string RequestText(const srv::RequestBody& body) const;

  private:
    int port_;
    bool https_;
};

// A valid compressed buffer of `text`.
std::string Compressed(std::string_view text);

} // namespace zt::test
