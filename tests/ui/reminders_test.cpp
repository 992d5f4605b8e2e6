// Reminders in the program: the dialog creates one, the clock moves, the
// notification window appears and brings the page into view; snoozing, the
// close warning and a due reminder on opening.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "base/messages.h"
#include "base/system.h"
#include "core/document.h"
#include "support/modal.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "ui/commands.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/remindercenter.h"
#include "ui/reminderwindows.h"
#include "ui/settings.h"

using namespace zt::ui;

namespace {

class FakeClock : public zt::Clock {
public:
    int64_t now = 1800000000 + 17;
    int64_t Now() const override { return now; }
};

class Reminders : public ::testing::Test {
protected:
    void SetUp() override {
        zt::SetClock(&clock);
        CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->Reminders().desktopNotify = [this](const QString& s, const QString&) { desktop.append(s); };
        frame->show();
        QTest::qWaitForWindowExposed(frame.get());
        CZTDocument& doc = frame->Document();
        alpha = doc.AddPage(nullptr, "Alpha");
        beta = doc.AddPage(nullptr, "Beta");
        frame->TreeView()->SelectPage(alpha);
    }
    void TearDown() override {
        for (auto* w : frame->Reminders().Windows()) w->close();
        frame->Reminders().DocumentCleared();
        frame->Document().Archive().SetModified(false);
        frame.reset();
        zt::SetClock(nullptr);
    }
    CZTPageNode* Current() { return frame->TreeView()->CurrentPage(); }

    FakeClock clock;
    CZTSettings settings;
    zt::test::ScriptedPrompter prompter;
    std::unique_ptr<CMainFrame> frame;
    QStringList desktop;
    CZTPageNode* alpha = nullptr;
    CZTPageNode* beta = nullptr;
};

TEST_F(Reminders, DialogCreatesReminderThatFiresAndShowsItsPage) {
    bool driven = false;
    zt::test::OnNextModal<CZTReminderDialog>([&](CZTReminderDialog* d) {
        driven = true;
        EXPECT_EQ(d->PageBox()->currentText(), QStringLiteral("/Alpha")); // the current page
        EXPECT_FALSE(d->MailBox()->isEnabled());                          // no mail server set
        // A time in the past is refused.
        d->TimeEdit()->setDateTime(QDateTime::fromSecsSinceEpoch(clock.now - 3600));
        QTest::mouseClick(d->NewButton(), Qt::LeftButton);
        EXPECT_EQ(prompter.messages.back(), zt::MessageText(zt::Msg::ReminderPast));
        EXPECT_TRUE(d->Working().Empty());
        d->TimeEdit()->setDateTime(QDateTime::fromSecsSinceEpoch(clock.now + 600));
        EXPECT_TRUE(d->NewButton()->isDefault());
        d->TextEdit()->setText(QStringLiteral("Besprechung"));
        d->RepeatBox()->setCurrentIndex(9);
        d->PageBox()->setCurrentIndex(d->PageBox()->findText(QStringLiteral("/Beta")));
        QTest::mouseClick(d->NewButton(), Qt::LeftButton);
        ASSERT_EQ(d->List()->topLevelItemCount(), 1);
        EXPECT_EQ(d->List()->topLevelItem(0)->text(1), QStringLiteral("Besprechung"));
        EXPECT_EQ(d->List()->topLevelItem(0)->text(2), QStringLiteral("/Beta"));
        EXPECT_EQ(d->List()->topLevelItem(0)->text(3), QStringLiteral("jeden Tag"));
        d->accept();
    });
    frame->Execute(ID_REMINDERS);
    ASSERT_TRUE(driven);
    CZTReminderCenter& center = frame->Reminders();
    ASSERT_EQ(center.List().Size(), 1u);
    const zt::CZTReminder r = center.List().Items()[0];
    EXPECT_EQ(r.time, zt::CutToMinute(clock.now) + 600);
    EXPECT_EQ(r.page, beta->Ident());
    EXPECT_TRUE(frame->Document().IsModified()); // stored into the page
    ASSERT_TRUE(center.ReminderTimer()->isActive());
    EXPECT_NEAR(center.ReminderTimer()->interval(), (r.time - clock.now) * 1000, 1000);
    EXPECT_TRUE(center.Windows().empty());

    // The clock moves on; the timer fires.
    clock.now = r.time + 5;
    center.FireDue();
    ASSERT_EQ(center.Windows().size(), 1u);
    CZTNotificationWindow* w = center.Windows()[0];
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->windowTitle().endsWith(QStringLiteral(" Benachrichtigung - Zettrix")));
    EXPECT_EQ(desktop.size(), 1);
    EXPECT_EQ(Current(), beta); // selected on firing
    // Daily: moved on to tomorrow, the snooze buttons are there.
    ASSERT_EQ(center.List().Size(), 1u);
    EXPECT_EQ(center.List().Items()[0].time, r.time + 86400);
    EXPECT_TRUE(w->Snooze5Button()->isEnabled());

    // "bring the page into view" after the user went elsewhere.
    frame->TreeView()->SelectPage(alpha);
    ASSERT_NE(w->ShowPageButton(), nullptr);
    QTest::mouseClick(w->ShowPageButton(), Qt::LeftButton);
    EXPECT_EQ(Current(), beta);

    // Snoozing makes a one-time copy 5 minutes after the current minute.
    QTest::mouseClick(w->Snooze5Button(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(center.Windows().empty());
    ASSERT_EQ(center.List().Size(), 2u);
    EXPECT_EQ(center.List().Items()[0].time, zt::CutToMinute(clock.now) + 300);
    EXPECT_TRUE(center.List().Items()[0].snoozed);
    EXPECT_EQ(center.List().Items()[0].repeat, 0);

    // The second notification goes to the next place.
    clock.now += 300;
    center.FireDue();
    ASSERT_EQ(center.Windows().size(), 1u);
    EXPECT_EQ(center.List().Size(), 1u); // the snoozed copy is done
}

TEST_F(Reminders, CloseWarnsAboutActiveReminders) {
    zt::CZTReminder r;
    r.time = clock.now + 3600;
    r.text = "später";
    frame->Reminders().List().Add(r);
    frame->Document().Archive().SetModified(false);
    prompter.answers = {false};
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(prompter.questions.back(), zt::MessageText(zt::Msg::ReminderCloseWarning));
    // An inactive reminder closes without the question.
    frame->Reminders().List().Items()[0].flags = 0;
    const size_t asked = prompter.questions.size();
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(prompter.questions.size(), asked);
}

TEST_F(Reminders, DueReminderOnOpenIsReportedOnceAsOld) {
    zt::test::TempDir dir;
    const QString path = QString::fromStdString(dir / "due.ztd");
    zt::CZTReminder r;
    r.time = zt::CutToMinute(clock.now) + 60;
    r.text = "einmal";
    r.page = beta->Ident();
    frame->Reminders().List().Add(r);
    ASSERT_TRUE(frame->SaveDocumentTo(path));
    frame->Reminders().DocumentCleared();
    clock.now += 7200; // opened two hours later
    ASSERT_TRUE(frame->OpenDocument(path));
    auto windows = frame->Reminders().Windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_TRUE(windows[0]->IsOld());
    EXPECT_EQ(windows[0]->windowTitle(), QStringLiteral("Alte Benachrichtigung - Zettrix"));
    EXPECT_EQ(Current()->Title(), "Beta");
    EXPECT_TRUE(frame->Reminders().List().Empty()); // done
    frame->Reminders().FireDue();
    EXPECT_EQ(frame->Reminders().Windows().size(), 1u); // not again
}

} // namespace
