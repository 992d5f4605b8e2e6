// Being driven: the program started by D-Bus activation with -automation on
// the private bus, its JavaScript method called with gdbus, a second call
// while a script runs, and the release rules, both in the program and on
// the service object in this process.
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "automation/testbus.h"
#include "script/dbus/automation.h"
#include "ui/automationstart.h"
#include "ui/commandline.h"

using namespace zt::dbus;

namespace {

bool NameOwned(const char* name = kAutomationService) {
    return zt::test::TestBus().interface()->isServiceRegistered(QString::fromLatin1(name)).value();
}

// gdbus call of JavaScript(script); its standard output.
class CGdbusCall {
public:
    explicit CGdbusCall(const QString& script) {
        proc_.setProgram(QStandardPaths::findExecutable(QStringLiteral("gdbus")));
        proc_.setArguments({QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--timeout"),
                            QStringLiteral("60"), QStringLiteral("--dest"), QString::fromLatin1(kAutomationService),
                            QStringLiteral("--object-path"), QString::fromLatin1(kAutomationPath),
                            QStringLiteral("--method"),
                            QString::fromLatin1(kAutomationInterface) + QStringLiteral(".JavaScript"), script});
        proc_.start();
    }
    QString Output() {
        proc_.waitForFinished(90000);
        return QString::fromUtf8(proc_.readAllStandardOutput()).trimmed() +
               QString::fromUtf8(proc_.readAllStandardError()).trimmed();
    }

private:
    QProcess proc_;
};

class AutomationApp : public ::testing::Test {
protected:
    void SetUp() override {
        ZT_NEED_BUS();
        if (QStandardPaths::findExecutable(QStringLiteral("gdbus")).isEmpty()) GTEST_SKIP() << "gdbus is missing";
        ASSERT_TRUE(home_.isValid());
        // The bus starts the program in a home of its own, offscreen.
        QFile f(zt::test::g_bus->ServiceDir() + QStringLiteral("/org.zettrix.Zettrix.service"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QString h = home_.path();
        f.write(QStringLiteral("[D-BUS Service]\nName=org.zettrix.Zettrix\n"
                               "Exec=/usr/bin/env QT_QPA_PLATFORM=offscreen HOME=%1 XDG_CONFIG_HOME=%1/config "
                               "XDG_DATA_HOME=%1/data XDG_CACHE_HOME=%1/cache XDG_RUNTIME_DIR=%1 %2 -automation\n")
                    .arg(h, QStringLiteral(ZT_ZETTRIX))
                    .toUtf8());
    }
    void TearDown() override {
        // Whatever is left of the program ends with the test.
        if (zt::test::g_bus && NameOwned()) {
            CGdbusCall end(QStringLiteral("0"));
            end.Output();
            zt::test::SpinUntil([] { return !NameOwned(); }, 15000);
        }
    }
    QTemporaryDir home_;
};

} // namespace

TEST_F(AutomationApp, ACallGivesWhatTheScriptPrintedAndTheReleaseEndsTheProgram) {
    ASSERT_FALSE(NameOwned());
    CGdbusCall call(QStringLiteral("print('Hallo '); 6 * 7"));
    EXPECT_EQ(call.Output(), QStringLiteral("('Hallo 42',)"));
    // The client has left the bus: the program that nobody else used ends.
    EXPECT_TRUE(zt::test::SpinUntil([] { return !NameOwned(); }, 15000));
    // Errors of the script come back as its output.
    CGdbusCall bad(QStringLiteral("print('a'); throw 'b'"));
    const QString out = bad.Output();
    EXPECT_TRUE(out.startsWith(QStringLiteral("('aJavaScript Error: Uncaught exception.\\nb\\nJavaScript Error: Execution failed.\\n"))) << out.toStdString();
}

TEST_F(AutomationApp, ASecondCallWhileAScriptRunsIsRefused) {
    CGdbusCall first(QStringLiteral("print('one '); sleep(3000); 'done'"));
    ASSERT_TRUE(zt::test::SpinUntil([] { return NameOwned(); }, 30000));
    // Give the first call time to get in.
    QThread::msleep(1200);
    CGdbusCall second(QStringLiteral("print('two'); 2"));
    EXPECT_EQ(second.Output(), QStringLiteral("('Internal Error: JavaScript already running.\\n',)"));
    EXPECT_EQ(first.Output(), QStringLiteral("('one done',)"));
    EXPECT_TRUE(zt::test::SpinUntil([] { return !NameOwned(); }, 15000));
}

TEST(AutomationRelease, TheLastClientEndsOnlyAProgramNobodyElseUsed) {
    ZT_NEED_BUS();
    struct Case {
        bool startedForAutomation;
        bool userWorked;
        bool ends;
    };
    const Case cases[] = {{true, false, true}, {true, true, false}, {false, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.startedForAutomation << c.userWorked);
        int calls = 0;
        CZTAutomationService service([&](const QString& s) {
            ++calls;
            return s + QStringLiteral("!");
        });
        service.Lifetime().SetStartedForAutomation(c.startedForAutomation);
        QString error;
        ASSERT_TRUE(service.Register(zt::test::TestBus(), &error)) << error.toStdString();
        bool ended = false, released = false;
        QObject::connect(&service, &CZTAutomationService::endRequested, [&] { ended = true; });
        QObject::connect(&service, &CZTAutomationService::released, [&] { released = true; });

        // A client on a connection of its own calls twice, then leaves.
        const QString clientName = QStringLiteral("zt-client-%1%2").arg(c.startedForAutomation).arg(c.userWorked);
        {
            QDBusConnection client = QDBusConnection::connectToBus(zt::test::g_bus->Address(), clientName);
            ASSERT_TRUE(client.isConnected());
            for (const char* script : {"a", "b"}) {
                QDBusMessage m = QDBusMessage::createMethodCall(QString::fromLatin1(kAutomationService),
                                                                QString::fromLatin1(kAutomationPath),
                                                                QString::fromLatin1(kAutomationInterface),
                                                                QStringLiteral("JavaScript"))
                                 << QString::fromLatin1(script);
                QDBusPendingCall pending = client.asyncCall(m, 5000);
                ASSERT_TRUE(zt::test::SpinUntil([&] { return pending.isFinished(); }, 10000));
                QDBusPendingReply<QString> reply(pending);
                EXPECT_EQ(reply.value(), QString::fromLatin1(script) + QStringLiteral("!"));
            }
            EXPECT_EQ(service.Lifetime().ClientCount(), 1);
            if (c.userWorked) service.Lifetime().NoteUserWork();
        }
        QDBusConnection::disconnectFromBus(clientName);
        EXPECT_TRUE(zt::test::SpinUntil([&] { return ended || released; }, 10000));
        EXPECT_EQ(ended, c.ends);
        EXPECT_EQ(released, !c.ends);
        EXPECT_EQ(calls, 2);
        service.Unregister();
        EXPECT_TRUE(zt::test::SpinUntil([] { return !NameOwned(); }, 5000));
    }
}

TEST(AutomationStart, FlagsAndTheServiceFile) {
    for (const char* flag : {"-automation", "/Embedding", "--AUTOMATION"}) {
        const zt::ui::CZTCommandLine cl = zt::ui::CZTCommandLine::Parse({QString::fromLatin1(flag)});
        EXPECT_TRUE(cl.automation) << flag;
        EXPECT_EQ(cl.startMode, zt::ui::CZTCommandLine::Empty) << flag;  // no default document, no tray icon
        EXPECT_TRUE(cl.errors.isEmpty());
    }
    EXPECT_EQ(zt::ui::AutomationServiceFile(QStringLiteral("/opt/z t/zettrix")),
              QStringLiteral("[D-BUS Service]\nName=org.zettrix.Zettrix\nExec=\"/opt/z t/zettrix\" -automation\n"));
    // -register writes it into the user's data directory.
    QTemporaryDir home;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZT_ZETTRIX), {QStringLiteral("-register")});
    ASSERT_TRUE(p.waitForFinished(60000));
    QFile f(home.filePath(QStringLiteral("data/dbus-1/services/org.zettrix.Zettrix.service")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(f.readAll().contains(QByteArray("Exec=") + QByteArray(ZT_ZETTRIX) + " -automation\n"));
    f.close();
    p.start(QStringLiteral(ZT_ZETTRIX), {QStringLiteral("-unregister")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_FALSE(f.exists());
}

TEST_F(AutomationApp, CallsWorkOnTheWindowsDocument) {
    // The scripts reach the document of the program's window; without it
    // ztDocument answers that there is no document.
    CGdbusCall make(QStringLiteral("var before = ztDocument.GetPagesSubtree().length; print(before >= 0)"));
    EXPECT_EQ(make.Output(), QStringLiteral("('true',)"));
}
