#include "ui/automationstart.h"

#include "script/dbus/automation.h"
#include "script/dbus/scriptbridge.h"
#include "script/forms/scriptforms.h"
#include "script/scripthost.h"
#include "ui/formdialog.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

namespace zt::ui {

// An instance nobody calls within this time after its start ends.
constexpr int kAutomationIdleMs = 60000;

class CZTAutomation : public QObject {
public:
    CZTAutomation(QWidget* window, std::function<void(bool)> callHook,
                  std::unique_ptr<zt::script::CScriptEnvironment> environment)
        : window_(window), callHook_(std::move(callHook)), environment_(std::move(environment)), presenter_(window),
          service_([this](const QString& script) { return Run(script); }) {
        if (environment_) host_.SetEnvironment(environment_.get());
        host_.AddExtension(zt::dbus::ScriptBridgeExtension());
        host_.AddExtension(zt::forms::ScriptFormsExtension(&presenter_));
        // The window keeps painting and further calls come in (and are refused)
        // while a script runs.
        host_.SetIdleHandler([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
        service_.Lifetime().SetStartedForAutomation(true);
        QObject::connect(&service_, &zt::dbus::CZTAutomationService::endRequested, this,
                         [] { QCoreApplication::exit(0); });
        qApp->installEventFilter(this);
        // A bus that went away takes every client with it.
        busCheck_.setInterval(2000);
        QObject::connect(&busCheck_, &QTimer::timeout, this, [this] {
            if (!QDBusConnection::sessionBus().isConnected() && service_.Lifetime().EndsOnRelease())
                QCoreApplication::exit(0);
        });
        busCheck_.start();
    }
    ~CZTAutomation() override { qApp->removeEventFilter(this); }

    bool Register(QString* error) {
        if (!service_.Register(QDBusConnection::sessionBus(), error)) return false;
        service_.SetIdleTimeout(kAutomationIdleMs);
        return true;
    }
    void Unregister() { service_.Unregister(); }

protected:
    // The user works in the shown window when it takes input outside a call.
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type t = event->type();
        if ((t == QEvent::KeyPress || t == QEvent::MouseButtonPress) && !service_.InCall()) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && w->window() && w->window()->isVisible()) service_.Lifetime().NoteUserWork();
        }
        return false;
    }

private:
    QString Run(const QString& script) {
        // A second call while a script runs is refused with the host's text,
        // without mixing into the running script's output.
        if (host_.IsRunning()) return QStringLiteral("Internal Error: JavaScript already running.\n");
        const bool wasEnabled = window_ && window_->isEnabled();
        if (window_) window_->setEnabled(false);
        if (callHook_) callHook_(true);
        zt::script::ScriptRunOptions options;
        options.collectOutput = true;
        const zt::script::ScriptRunResult r = host_.Run(script.toStdString(), options);
        if (callHook_) callHook_(false);
        if (window_) window_->setEnabled(wasEnabled);
        return QString::fromStdString(r.result);
    }

    QPointer<QWidget> window_;
    std::function<void(bool)> callHook_;
    std::unique_ptr<zt::script::CScriptEnvironment> environment_;
    CZTFormDialogPresenter presenter_;
    zt::script::CScriptHost host_;
    zt::dbus::CZTAutomationService service_;
    QTimer busCheck_;
};

void CZTAutomationDeleter::operator()(CZTAutomation* a) const { delete a; }

CZTAutomationPtr StartAutomation(QWidget* mainWindow, QString* error, std::function<void(bool)> callHook,
                                 std::unique_ptr<zt::script::CScriptEnvironment> environment) {
    CZTAutomationPtr a(new CZTAutomation(mainWindow, std::move(callHook), std::move(environment)));
    if (!a->Register(error)) return nullptr;
    return a;
}

void StopAutomation(CZTAutomation* automation) {
    if (automation) automation->Unregister();
}

QString AutomationServiceFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/dbus-1/services/%1.service").arg(QString::fromLatin1(zt::dbus::kAutomationService));
}

QString AutomationServiceFile(const QString& program) {
    QString exec = program;
    // The bus splits Exec at blanks; a path with blanks goes in quotes.
    if (exec.contains(QLatin1Char(' '))) exec = QLatin1Char('"') + exec + QLatin1Char('"');
    return QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2 -automation\n")
        .arg(QString::fromLatin1(zt::dbus::kAutomationService), exec);
}

bool RegisterAutomationService(const QString& program, QString* error) {
    const QString path = AutomationServiceFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    const QByteArray data = AutomationServiceFile(program).toUtf8();
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit()) {
        if (error) *error = path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    return true;
}

bool UnregisterAutomationService(QString* error) {
    const QString path = AutomationServiceFilePath();
    if (QFile::exists(path) && !QFile::remove(path)) {
        if (error) *error = path + QStringLiteral(": cannot be removed");
        return false;
    }
    return true;
}

} // namespace zt::ui
