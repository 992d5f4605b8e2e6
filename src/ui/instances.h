// Cooperation of running instances. Each instance listens on a local socket
// named after its process id in the user's runtime directory
// ($XDG_RUNTIME_DIR/zettrix/, else a private /tmp/zettrix-UID/). A request is
// a 4-byte little-endian length and the full path of a document, or the single
// byte 01 ("come to the front"); the answer is one byte, 1 when the instance
// took the request. A client gives each instance at most 500 ms, skips hung
// ones and removes the sockets of instances that are gone.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace zt::ui {

// The directory of the instance sockets, created private when missing; empty
// when no safe directory can be had.
QString InstanceDirectory();

class CZTInstanceServer : public QObject {
    Q_OBJECT
public:
    explicit CZTInstanceServer(QObject* parent = nullptr);
    ~CZTInstanceServer() override;

    bool Listen();
    QString SocketPath() const { return path_; }
    // Answers a request: the document path, or "\x01".
    std::function<bool(const QByteArray& request)> handler;

private:
    void Accept();
    QLocalServer* server_;
    QString path_;
};

// Asks the other instances to show the document at `path`; true when one took it.
bool SendOpenToRunningInstance(const QString& path, const QString& ownSocket = {});
// With `activate`: true when another instance agreed to come to the front;
// without: true when another instance runs.
bool FindOtherInstance(bool activate, const QString& ownSocket = {});

constexpr int kInstanceTimeoutMs = 500;

} // namespace zt::ui
