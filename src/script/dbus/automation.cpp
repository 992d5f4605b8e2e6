#include "script/dbus/automation.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

namespace zt::dbus {

CZTAutomationService::CZTAutomationService(Runner runner, QObject* parent)
    : QObject(parent), runner_(std::move(runner)), bus_(QStringLiteral("zt-none")) {
    idle_.setSingleShot(true);
    connect(&idle_, &QTimer::timeout, this, [this] {
        if (lifetime_.ClientCount() == 0 && lifetime_.EndsOnRelease()) emit endRequested();
    });
}

CZTAutomationService::~CZTAutomationService() { Unregister(); }

bool CZTAutomationService::Register(const QDBusConnection& bus, QString* error) {
    bus_ = bus;
    if (!bus_.isConnected()) {
        if (error) *error = bus_.lastError().message();
        return false;
    }
    if (!bus_.registerObject(QString::fromLatin1(kAutomationPath), this, QDBusConnection::ExportScriptableSlots)) {
        if (error) *error = QStringLiteral("%1 is taken").arg(QString::fromLatin1(kAutomationPath));
        return false;
    }
    const auto reply = bus_.interface()->registerService(QString::fromLatin1(kAutomationService),
                                                          QDBusConnectionInterface::DontQueueService,
                                                          QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        if (error)
            *error = reply.isValid() ? QStringLiteral("%1 is owned by another process").arg(QString::fromLatin1(kAutomationService))
                                     : reply.error().message();
        bus_.unregisterObject(QString::fromLatin1(kAutomationPath));
        return false;
    }
    registered_ = true;
    watcher_ = new QDBusServiceWatcher(this);
    watcher_->setConnection(bus_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &CZTAutomationService::ClientGone);
    return true;
}

void CZTAutomationService::Unregister() {
    if (!registered_) return;
    registered_ = false;
    bus_.unregisterService(QString::fromLatin1(kAutomationService));
    bus_.unregisterObject(QString::fromLatin1(kAutomationPath));
}

void CZTAutomationService::SetIdleTimeout(int ms) {
    idle_.stop();
    if (ms > 0 && lifetime_.ClientCount() == 0) idle_.start(ms);
}

QString CZTAutomationService::JavaScript(const QString& script) {
    if (calledFromDBus()) {
        const QString client = message().service();
        if (!client.isEmpty() && !lifetime_.HasClient(client)) {
            lifetime_.AddClient(client);
            idle_.stop();
            if (watcher_) watcher_->addWatchedService(client);
            // A client that left before its first call came in is gone already.
            if (!bus_.interface()->isServiceRegistered(client).value()) {
                QMetaObject::invokeMethod(this, [this, client] { ClientGone(client); }, Qt::QueuedConnection);
            }
        }
    }
    ++depth_;
    const QString result = runner_ ? runner_(script) : QString();
    --depth_;
    return result;
}

void CZTAutomationService::ClientGone(const QString& name) {
    if (watcher_) watcher_->removeWatchedService(name);
    if (!lifetime_.RemoveClient(name)) return;
    if (lifetime_.EndsOnRelease()) {
        emit endRequested();
    } else {
        Unregister();
        emit released();
    }
}

} // namespace zt::dbus
