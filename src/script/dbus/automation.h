// The automation server: the session-bus service org.zettrix.Zettrix with
// the object /Application, whose one method JavaScript(s) -> s runs a script
// and returns what it printed. Every bus connection that called it counts as
// a client until it leaves the bus; when the last one leaves, the program
// ends, but only when nobody but the clients used it.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>

class QDBusServiceWatcher;

namespace zt::dbus {

inline constexpr const char* kAutomationService = "org.zettrix.Zettrix";
inline constexpr const char* kAutomationPath = "/Application";
inline constexpr const char* kAutomationInterface = "org.zettrix.Application";

// The lifetime rules, free of the bus.
class CZTAutomationLifetime {
public:
    void SetStartedForAutomation(bool on) { startedForAutomation_ = on; }
    bool StartedForAutomation() const { return startedForAutomation_; }
    // The user worked in the shown window (outside a call).
    void NoteUserWork() { userWorked_ = true; }
    bool UserWorked() const { return userWorked_; }
    // A client's first call; later calls of the same client change nothing.
    void AddClient(const QString& name) { clients_.insert(name); }
    bool HasClient(const QString& name) const { return clients_.contains(name); }
    int ClientCount() const { return int(clients_.size()); }
    // A client left; true when it was the last one.
    bool RemoveClient(const QString& name) { return clients_.remove(name) && clients_.isEmpty(); }
    // Whether the release of the last client ends the program: only one that
    // was started for automation and that the user did not work in.
    bool EndsOnRelease() const { return startedForAutomation_ && !userWorked_; }

private:
    bool startedForAutomation_ = false;
    bool userWorked_ = false;
    QSet<QString> clients_;
};

class CZTAutomationService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zettrix.Application")

public:
    // Runs a script and returns the collected output (the host's RunScript
    // with output collected).
    using Runner = std::function<QString(const QString& script)>;

    explicit CZTAutomationService(Runner runner, QObject* parent = nullptr);
    ~CZTAutomationService() override;

    // Exports /Application and takes the service name. False with the bus's
    // reason when the name is owned by another process or the bus is absent.
    bool Register(const QDBusConnection& bus, QString* error = nullptr);
    void Unregister();

    CZTAutomationLifetime& Lifetime() { return lifetime_; }
    bool InCall() const { return depth_ > 0; }
    // An instance started for automation that no client calls within this
    // time ends by the release rules (0 switches it off).
    void SetIdleTimeout(int ms);

public slots:
    Q_SCRIPTABLE QString JavaScript(const QString& script);

signals:
    // The last client left and the rules say the program ends.
    void endRequested();
    // The last client left a program the user works in: it goes on as a
    // normal instance and no longer answers to the service name.
    void released();

private:
    void ClientGone(const QString& name);

    Runner runner_;
    CZTAutomationLifetime lifetime_;
    QDBusConnection bus_;
    bool registered_ = false;
    int depth_ = 0;
    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer idle_;
};

} // namespace zt::dbus
