// Cooperation of instances and the revision hand-over, with the real program
// in separate processes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <signal.h>

#include <functional>

#include "core/document.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "ui/commands.h"
#include "ui/historydialog.h"
#include "ui/mainframe.h"
#include "ui/settings.h"
#include "ui/handover.h"
#include "ui/instances.h"

using namespace zt::ui;

namespace {

bool WaitFor(const std::function<bool()>& ready, int ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (ready()) return true;
        QTest::qWait(50);
    }
    return false;
}

QStringList Sockets() {
    return QDir(InstanceDirectory()).entryList({"*.sock"}, QDir::System | QDir::Files | QDir::Hidden);
}

// Ends the instances whose sockets are listed (they are not our children).
void EndInstances() {
    for (const QString& s : Sockets()) {
        bool ok = false;
        const qint64 pid = s.section('.', 0, 0).toLongLong(&ok);
        if (ok && pid > 0) kill(pid_t(pid), SIGKILL);
    }
    // A client removes the socket once the process is gone.
    WaitFor(
        [] {
            FindOtherInstance(false);
            return Sockets().isEmpty();
        },
        5000);
}

void WriteDocument(const std::string& path) {
    zt::SilentPrompter silent;
    CZTDocument doc(silent);
    doc.AddPage(nullptr, "Geteilt");
    ASSERT_TRUE(doc.Save(path));
}

} // namespace

TEST(Instances, SecondStartWithTheSameDocumentHandsItOverAndEnds) {
    zt::test::TempDir dir;
    const std::string doc = dir / "Geteilt.ztd";
    WriteDocument(doc);
    QProcess first;
    first.start(ZT_ZETTRIX_BIN, {QString::fromStdString(doc)});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(WaitFor([] { return FindOtherInstance(false); })) << "the first instance did not come up";

    QProcess second;
    second.start(ZT_ZETTRIX_BIN, {QString::fromStdString(doc)});
    ASSERT_TRUE(second.waitForFinished(10000)) << "the second instance did not end";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(Sockets().size(), 1);

    // Another document is not taken; a start without one brings it forward.
    EXPECT_FALSE(SendOpenToRunningInstance(QString::fromStdString(dir / "Anderes.ztd")));
    EXPECT_TRUE(FindOtherInstance(true));

    first.kill();
    first.waitForFinished();
    // The next client removes the socket of the instance that is gone.
    EXPECT_FALSE(FindOtherInstance(false));
    EXPECT_TRUE(Sockets().isEmpty());
}

TEST(Instances, HungInstanceIsSkippedAfterHalfASecond) {
    QProcess first;
    first.start(ZT_ZETTRIX_BIN, {"/empty"});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(WaitFor([] { return FindOtherInstance(false); }));
    kill(pid_t(first.processId()), SIGSTOP);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(FindOtherInstance(true));
    EXPECT_LT(t.elapsed(), 1500);
    kill(pid_t(first.processId()), SIGCONT);
    first.kill();
    first.waitForFinished();
    FindOtherInstance(false);
}

TEST(Instances, RevisionIsHandedToASecondInstance) {
    zt::test::TempDir dir;
    zt::SilentPrompter silent;
    CZTDocument doc(silent);
    doc.AddPage(nullptr, "Alt");
    ASSERT_TRUE(doc.Save(dir / "Notizen.ztd"));
    std::vector<CZTRevisionKey> keys;
    doc.Archive().Core().history.ListRevisions(keys);
    ASSERT_EQ(keys.size(), 1u);
    std::string body;
    ASSERT_TRUE(doc.Archive().Core().history.GetRevisionBody(keys[0].time, true, body));

    const std::string label = "2024-06-01 12:00:00", title = "Notizen";
    EXPECT_EQ(SendRevision(ZT_ZETTRIX_BIN, label, title, SealRevision(body, label, title)), HandOverResult::Done);
    EXPECT_TRUE(WaitFor([] { return Sockets().size() == 1; })) << "the viewer did not come up";
    EndInstances();

    // Sealed for another title: the receiver takes the bytes, finds the MAC
    // wrong and ends without showing anything.
    EXPECT_EQ(SendRevision(ZT_ZETTRIX_BIN, label, title, SealRevision(body, label, "Fremd")), HandOverResult::Done);
    QTest::qWait(1500);
    EXPECT_TRUE(Sockets().isEmpty());
    EndInstances();
}

TEST(Instances, HistoryDialogShowsARevisionInASecondInstance) {
    zt::test::TempDir dir;
    zt::ui::CZTSettings settings;
    zt::ui::CMainFrame frame(settings);
    zt::test::ScriptedPrompter prompter;
    frame.SetPrompter(&prompter);
    frame.programPath = ZT_ZETTRIX_BIN;
    frame.show();
    ASSERT_TRUE(frame.SaveDocumentTo(QString::fromStdString(dir / "Zeigen.ztd")));
    auto* timer = new QTimer(&frame);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        if (auto* d = qobject_cast<CZTHistoryDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            d->list->setCurrentRow(0);
            d->showButton->click();
            d->reject();
        }
    });
    timer->start(10);
    frame.Execute(ID_HISTORY);
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages.front();
    EXPECT_TRUE(WaitFor([] { return Sockets().size() == 1; })) << "the viewer did not come up";
    EndInstances();
    frame.Document().Archive().SetModified(false);
}

TEST(Instances, StartWithQuitClosesAndWritesTheState) {
    zt::test::TempDir dir;
    const std::string doc = dir / "Start.ztd";
    WriteDocument(doc);
    zt::ui::CZTSettings::Open()->clear();
    QProcess p;
    p.start(ZT_ZETTRIX_BIN, {QString::fromStdString(doc), "-quit"});
    ASSERT_TRUE(p.waitForFinished(15000));
    EXPECT_EQ(p.exitCode(), 0);
    zt::ui::CZTSettings settings;
    settings.Load();
    // Mode 2 keeps the last closed document; the archive list holds it.
    EXPECT_EQ(settings.prefs.file, QString::fromStdString(doc));
    EXPECT_TRUE(settings.archives.paths.contains(QString::fromStdString(doc)));
    EXPECT_EQ(settings.recentFiles.value(0), QString::fromStdString(doc));
    EXPECT_TRUE(Sockets().isEmpty());
}
