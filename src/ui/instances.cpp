#include "ui/instances.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zt::ui {

namespace {

constexpr qint32 kMaxRequest = 64 * 1024;

// A directory of ours that nobody else may enter.
bool PrivateDirectory(const QByteArray& dir) {
    if (mkdir(dir.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (lstat(dir.constData(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
    if ((st.st_mode & 077) != 0 && chmod(dir.constData(), 0700) != 0) return false;
    return true;
}

QByteArray Frame(const QByteArray& request) {
    QByteArray out(4, '\0');
    const quint32 n = quint32(request.size());
    for (int i = 0; i < 4; ++i) out[i] = char((n >> (8 * i)) & 0xFF);
    return out + request;
}

// Sends one request to one instance. 1 taken, 0 refused or no answer in
// time, -1 nobody listens there.
int Ask(const QString& socketPath, const QByteArray& request) {
    QElapsedTimer clock;
    clock.start();
    auto left = [&] { return int(std::max<qint64>(0, kInstanceTimeoutMs - clock.elapsed())); };
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(left())) {
        auto e = socket.error();
        return (e == QLocalSocket::ConnectionRefusedError || e == QLocalSocket::ServerNotFoundError) ? -1 : 0;
    }
    socket.write(Frame(request));
    while (socket.bytesToWrite() > 0 && left() > 0)
        if (!socket.waitForBytesWritten(left())) break;
    while (socket.bytesAvailable() < 1 && left() > 0)
        if (!socket.waitForReadyRead(left())) break;
    char answer = 0;
    const bool got = socket.read(&answer, 1) == 1;
    socket.abort();
    return got && answer == 1 ? 1 : 0;
}

// True when no process of that id runs (a zombie no longer runs).
bool ProcessGone(pid_t pid) {
    if (kill(pid, 0) != 0) return errno == ESRCH;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray line = stat.read(512);
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && (line[close + 2] == 'Z' || line[close + 2] == 'X');
}

// The sockets of the other instances; sockets of processes that are gone
// are removed on the way.
QStringList OtherInstances(const QString& own) {
    QStringList result;
    const QString dir = InstanceDirectory();
    if (dir.isEmpty()) return result;
    const QFileInfoList entries =
        QDir(dir).entryInfoList({QStringLiteral("*.sock")}, QDir::System | QDir::Files | QDir::Hidden);
    for (const QFileInfo& fi : entries) {
        const QString path = fi.absoluteFilePath();
        if (path == own) continue;
        bool ok = false;
        const qint64 pid = fi.completeBaseName().toLongLong(&ok);
        if (!ok || pid <= 0) continue;
        if (ProcessGone(pid_t(pid))) {
            QFile::remove(path);
            continue;
        }
        result << path;
    }
    return result;
}

bool AskAll(const QByteArray& request, const QString& own) {
    for (const QString& path : OtherInstances(own)) {
        int r = Ask(path, request);
        if (r == 1) return true;
        if (r < 0) {
            // The process exists but nobody listens: a leftover of an earlier
            // instance whose id was reused, or one that is just starting.
            continue;
        }
    }
    return false;
}

} // namespace

QString InstanceDirectory() {
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        struct stat st {};
        if (stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()) {
            QByteArray dir = runtime + "/zettrix";
            if (PrivateDirectory(dir)) return QFile::decodeName(dir);
        }
    }
    QByteArray dir = "/tmp/zettrix-" + QByteArray::number(qulonglong(getuid()));
    if (PrivateDirectory(dir)) return QFile::decodeName(dir);
    return {};
}

CZTInstanceServer::CZTInstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &CZTInstanceServer::Accept);
}

CZTInstanceServer::~CZTInstanceServer() {
    server_->close();
    if (!path_.isEmpty()) QFile::remove(path_);
}

bool CZTInstanceServer::Listen() {
    const QString dir = InstanceDirectory();
    if (dir.isEmpty()) return false;
    path_ = dir + QStringLiteral("/%1.sock").arg(qint64(getpid()));
    QLocalServer::removeServer(path_);
    if (!server_->listen(path_)) {
        path_.clear();
        return false;
    }
    return true;
}

void CZTInstanceServer::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that says nothing is dropped.
        QTimer::singleShot(2000, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < 4) return;
            QByteArray head = socket->peek(4);
            quint32 n = 0;
            for (int i = 0; i < 4; ++i) n |= quint32(quint8(head[i])) << (8 * i);
            if (n > quint32(kMaxRequest)) {
                socket->abort();
                return;
            }
            if (socket->bytesAvailable() < 4 + qint64(n)) return;
            socket->read(4);
            const QByteArray request = socket->read(n);
            // The handler only shows and raises the window: the client waits
            // 500 ms at most.
            bool take = handler && handler(request);
            socket->write(take ? "\x01" : "\x00", 1);
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

bool SendOpenToRunningInstance(const QString& path, const QString& ownSocket) {
    const QString full = QFileInfo(path).absoluteFilePath();
    return AskAll(QFile::encodeName(full), ownSocket);
}

bool FindOtherInstance(bool activate, const QString& ownSocket) {
    if (!activate) {
        for (const QString& path : OtherInstances(ownSocket))
            if (Ask(path, QByteArray()) >= 0) return true;
        return false;
    }
    return AskAll(QByteArray(1, '\x01'), ownSocket);
}

} // namespace zt::ui
