// A private D-Bus session bus for one test process: dbus-daemon started in a
// temporary directory with its own service directory (for activation), and
// DBUS_SESSION_BUS_ADDRESS pointing at it, stopped at the end.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

namespace zt::test {

class PrivateBus {
public:
    // Starts the daemon; Address() is empty when it could not be started.
    bool Start() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !dir_.isValid()) return false;
        QDir(dir_.path()).mkpath(QStringLiteral("services"));
        const QString config = dir_.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write(QStringLiteral(
                    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                    "<busconfig><type>session</type><listen>unix:dir=%1</listen>\n"
                    "<servicedir>%2</servicedir>\n"
                    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                    .arg(dir_.path(), ServiceDir())
                    .toUtf8());
        f.close();
        daemon_.setProgram(daemon);
        daemon_.setArguments({QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                              QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        daemon_.start();
        if (!daemon_.waitForStarted(5000)) return false;
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        if (address_.isEmpty()) return false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
        return true;
    }
    ~PrivateBus() {
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.terminate();
            if (!daemon_.waitForFinished(3000)) daemon_.kill();
            daemon_.waitForFinished(1000);
        }
    }

    const QString& Address() const { return address_; }
    // Where .service files for activation go.
    QString ServiceDir() const { return dir_.filePath(QStringLiteral("services")); }
    QString Dir() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

} // namespace zt::test
