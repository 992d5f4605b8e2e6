#include "ui/application.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <cstdio>

#include "base/messages.h"
#include "ui/commandline.h"
#include "ui/handover.h"
#include "ui/icons.h"
#include "ui/instances.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/registration.h"
#include "ui/settings.h"
#include "ui/textview.h"
#ifdef ZT_HAVE_AUTOMATION
#include "ui/automationstart.h"
#ifdef ZT_HAVE_SCRIPT
#include "ui/scriptenv.h"
#endif
#endif
#ifdef ZT_HAVE_SCRIPT
#include "ui/scriptlinks.h"
#endif

#include <memory>

namespace zt::ui {

namespace {

void PrintErr(const QString& text) {
    const QByteArray b = text.toLocal8Bit();
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
}

// The German texts of Qt's own dialogs, when they are installed.
void LoadTranslations(QApplication& app) {
    auto* qt = new QTranslator(&app);
    if (qt->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qt);
}

#ifdef ZT_HAVE_AUTOMATION
using AutomationHandle = CZTAutomationPtr;
AutomationHandle StartAutomationFor(CMainFrame* frame, const CZTSettings& settings) {
    QString error;
    // Automatic link marking is off while a call runs, and as set after it.
    std::unique_ptr<zt::script::CScriptEnvironment> environment;
#ifdef ZT_HAVE_SCRIPT
    // The calls' scripts work on the window's document, as the console's do.
    environment = std::make_unique<CZTWindowScriptEnvironment>(*frame);
#endif
    AutomationHandle a = StartAutomation(
        frame, &error,
        [frame, &settings](bool inCall) {
            if (CZettrixView* view = frame->TextView()) view->SetAutoLink(!inCall && settings.prefs.autoLink != 0);
        },
        std::move(environment));
    if (!a)
        PrintErr(QStringLiteral("zettrix: Der Automatisierungsdienst kann nicht starten: %1\n").arg(error));
    return a;
}
bool RegisterAutomation(const QString& program, QString* error) { return RegisterAutomationService(program, error); }
bool UnregisterAutomation(QString* error) { return UnregisterAutomationService(error); }
#else
using AutomationHandle = std::unique_ptr<int>;
AutomationHandle StartAutomationFor(CMainFrame*, const CZTSettings&) {
    PrintErr(QStringLiteral("zettrix: Der Automatisierungsdienst ist in dieser Version nicht verfügbar.\n"));
    return {};
}
bool RegisterAutomation(const QString&, QString*) { return true; }
bool UnregisterAutomation(QString*) { return true; }
#endif

// The document the start opens when the command line names none.
QString StartDocument(const CZTSettings& settings) {
    if (settings.prefs.mode <= 0) return {};
    if (!settings.prefs.file.isEmpty()) return settings.prefs.file;
    const QString mine = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/zettrix/ZT-Myself.ztd");
    return QFileInfo::exists(mine) ? QFileInfo(mine).absoluteFilePath() : QString();
}

} // namespace

int RunApplication(int argc, char** argv) {
    // A receiver that went away must not end us through a broken pipe.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zettrix Applications"));
    QApplication::setApplicationName(QStringLiteral("Zettrix"));
    QApplication::setApplicationVersion(QStringLiteral(ZT_VERSION));
    QApplication::setWindowIcon(AppIcon());
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    LoadTranslations(app);

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const CZTCommandLine cl = CZTCommandLine::Parse(args);
    if (cl.help) {
        const QByteArray usage = CZTCommandLine::Usage().toLocal8Bit();
        std::fwrite(usage.constData(), 1, size_t(usage.size()), stdout);
        return 0;
    }
    for (const QString& e : cl.errors) PrintErr(QStringLiteral("zettrix: unbekannte Angabe: %1\n").arg(e));

    CZTSettings settings;
    settings.Load();

    if (cl.startMode == CZTCommandLine::Register) {
        QString error;
        if (!RegisterDocumentType(QCoreApplication::applicationFilePath(), &error) ||
            !RegisterAutomation(QCoreApplication::applicationFilePath(), &error)) {
            PrintErr(error + QLatin1Char('\n'));
            return 1;
        }
        return 0;
    }
    if (cl.unregister) {
        if (FindOtherInstance(false)) {
            QMessageBox::warning(nullptr, QStringLiteral("Zettrix"),
                                 QString::fromUtf8(MessageText(Msg::UnregisterWhileRunning)));
            return 1;
        }
        QString error;
        if (!UnregisterDocumentType(&error) || !UnregisterAutomation(&error)) PrintErr(error + QLatin1Char('\n'));
        return 0;
    }

    // The document to open.
    QString file = cl.file;
    const bool plainStart = file.isEmpty() && cl.startMode != CZTCommandLine::Empty && !cl.HasRevision();
    if (plainStart) {
        if (FindOtherInstance(true)) return 0;
        file = StartDocument(settings);
    }
    if (!file.isEmpty() && SendOpenToRunningInstance(file)) return 0;

    // A revision is read before anything shows: the sender waits for it.
    std::string revisionBody;
    if (cl.HasRevision()) {
        std::optional<std::string> message;
        if (cl.revisionSize > 0 && size_t(cl.revisionSize) <= kMaxRevisionMessage)
            message = ReceiveRevision(size_t(cl.revisionSize));
        std::optional<std::string> body;
        if (message)
            body = OpenRevision(*message, cl.revisionLabel.toStdString(), cl.revisionTitle.toStdString());
        if (!body) return 1; // nothing trustworthy came: the instance ends
        revisionBody = std::move(*body);
    }

    CZTInstanceServer server;
    server.Listen();
    CMainFrame frame(settings);
    frame.ownInstanceSocket = server.SocketPath();
    server.handler = [&frame](const QByteArray& request) { return frame.HandleInstanceRequest(request); };

    if (cl.HasRevision()) {
        if (!frame.OpenRevision(revisionBody, cl.revisionTitle + QStringLiteral(": ") + cl.revisionLabel)) return 1;
    } else if (!file.isEmpty()) {
        frame.OpenDocument(file); // a failed open leaves a new document
    }

    frame.LoadWindowState();
    const bool hidden = cl.automation || (cl.startMode == CZTCommandLine::Minimized && frame.HasTrayIcon());
    if (cl.automation) {
        // shown only when a script asks for it
    } else if (hidden)
        frame.HideToTray();
    else if (settings.prefs.flags & 2)
        frame.showMaximized();
    else
        frame.show();
    // A new document opens its first page's title for editing.
    if (!hidden && frame.DocumentPath().isEmpty() && !cl.HasRevision()) frame.TreeView()->EditCurrentTitle();
    // Only one instance shows a tray icon.
    if (cl.startMode == CZTCommandLine::Empty || FindOtherInstance(false, server.SocketPath())) frame.SetTrayIcon(false);

    const AutomationHandle automation = cl.automation ? StartAutomationFor(&frame, settings) : AutomationHandle();
    if (cl.automation && !automation) return 1;
#ifdef ZT_HAVE_SCRIPT
    // The user named the script: it runs without a question, once the
    // document is open and before a `quit` closes the window.
    if (!cl.script.isEmpty()) RunScriptAddress(frame, ScriptAddressOfArgument(cl.script));
#else
    if (!cl.script.isEmpty()) PrintErr(QStringLiteral("zettrix: Skripte sind in dieser Version nicht verfügbar.\n"));
#endif
    if (cl.helpDocument) {
        // The help document lives on the help server, which this version
        // cannot reach.
        return 1;
    }
    if (cl.quit) QTimer::singleShot(0, &frame, [&frame] { frame.close(); });
    // The session ends: the window state is written as at a close.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &frame, [&frame] { frame.SaveWindowState(); });

    const int code = app.exec();
    settings.SaveArchiveList();
    settings.SaveRecentFiles();
    return code;
}

} // namespace zt::ui
