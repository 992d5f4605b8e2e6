// Reminders in the program: the dialog creates one, the clock moves, the
// notification window appears and brings the page into view; snoozing, the
// close warning and a due reminder on opening.
#include <gtest/gtest.h>

#include <array>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
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
#include "ui/optionsdialog.h"
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

// The options sheet's pages "Termine" and "Mail": values in and out, the
// defaults button, the password into the keyring and never into the
// settings file.
TEST_F(Reminders, OptionsSheetEditsReminderAndMailSettings) {
    std::vector<std::array<std::string, 3>> kept;
    CZTReminderCenter& center = frame->Reminders();
    center.keyringAvailable = [] { return true; };
    center.keepPassword = [&](const std::string& server, const std::string& user, const std::string& password) {
        kept.push_back({server, user, password});
        return true;
    };
    settings.prefs.alarmImpPage = 1;
    settings.prefs.alarmExpPage = 0;
    settings.prefs.alarmOpenOld = 0;
    bool driven = false;
    zt::test::OnNextModal<CZTOptionsDialog>([&](CZTOptionsDialog* d) {
        driven = true;
        QStringList titles;
        for (int i = 0; i < d->tabs->count(); ++i) titles.append(d->tabs->tabText(i));
        EXPECT_EQ(titles, (QStringList{"Symbolleisten", "Programm-Start", "Text-Drag", "Automatiken", "Druckränder",
                                       "Termine", "Mail"}));
        EXPECT_TRUE(d->impPage->isChecked());
        EXPECT_FALSE(d->expPage->isChecked());
        EXPECT_FALSE(d->openOld->isChecked());
        EXPECT_FALSE(d->soundCommand->isEnabled()); // only with the sound option
        d->sound->setChecked(true);
        EXPECT_TRUE(d->soundCommand->isEnabled());
        d->impRoot->setChecked(true);
        d->expRoot->setChecked(true);
        QTest::mouseClick(d->reminderDefaults, Qt::LeftButton);
        EXPECT_FALSE(d->impRoot->isChecked());
        EXPECT_FALSE(d->impPage->isChecked());
        EXPECT_FALSE(d->expRoot->isChecked());
        EXPECT_TRUE(d->expPage->isChecked());
        EXPECT_TRUE(d->openAll->isChecked());
        EXPECT_TRUE(d->openOld->isChecked());
        EXPECT_EQ(d->soundCommand->text(), DefaultReminderSound());
        d->soundCommand->setText(QStringLiteral("/usr/share/sounds/glocke.wav"));
        d->impPage->setChecked(true);

        EXPECT_TRUE(d->mailPassword->isEnabled());
        EXPECT_EQ(d->mailPassword->echoMode(), QLineEdit::Password);
        QTest::keyClicks(d->mailServer, QStringLiteral("smtp.example.org"));
        d->mailPort->setValue(465);
        d->mailTls->setCurrentIndex(d->mailTls->findText(QStringLiteral("TLS")));
        QTest::keyClicks(d->mailUser, QStringLiteral("anna"));
        QTest::keyClicks(d->mailPassword, QStringLiteral("Geheim-4711"));
        QTest::keyClicks(d->mailSender, QStringLiteral("anna@example.org"));
        static_cast<QDialog*>(d)->accept();
    });
    frame->Execute(ID_OPTIONS);
    ASSERT_TRUE(driven);
    const CZTPreferences& p = settings.prefs;
    EXPECT_EQ(p.alarmImpRoot, 0);
    EXPECT_EQ(p.alarmImpPage, 1);
    EXPECT_EQ(p.alarmExpRoot, 0);
    EXPECT_EQ(p.alarmExpPage, 1);
    EXPECT_EQ(p.alarmOpenAll, 1);
    EXPECT_EQ(p.alarmOpenOld, 1);
    EXPECT_EQ(p.alarmSnd, 1);
    EXPECT_EQ(p.alarmSndCmd, QStringLiteral("/usr/share/sounds/glocke.wav"));
    EXPECT_TRUE(frame->Document().takeOverPageReminders);
    EXPECT_TRUE(center.MailAvailable());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0], (std::array<std::string, 3>{"smtp.example.org", "anna", "Geheim-4711"}));

    // Stored at once, without the password.
    CZTSettings again;
    again.Load();
    EXPECT_EQ(again.mail.server, QStringLiteral("smtp.example.org"));
    EXPECT_EQ(again.mail.port, 465);
    EXPECT_EQ(again.mail.tls, QStringLiteral("TLS"));
    EXPECT_EQ(again.mail.user, QStringLiteral("anna"));
    EXPECT_EQ(again.mail.sender, QStringLiteral("anna@example.org"));
    const QString file = CZTSettings::Open()->fileName();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    const QByteArray stored = f.readAll();
    EXPECT_TRUE(stored.contains("smtp.example.org"));
    EXPECT_FALSE(stored.contains("Geheim-4711"));

    // Opened again: the password field is empty; leaving it so keeps the
    // keyring's entry; the mail settings are shown as stored.
    zt::test::OnNextModal<CZTOptionsDialog>([&](CZTOptionsDialog* d) {
        EXPECT_TRUE(d->mailPassword->text().isEmpty());
        EXPECT_EQ(d->mailTls->currentText(), QStringLiteral("TLS"));
        EXPECT_EQ(d->mailPort->value(), 465);
        d->mailSender->setText(QStringLiteral("b@example.org"));
        static_cast<QDialog*>(d)->accept();
    });
    frame->Execute(ID_OPTIONS);
    EXPECT_EQ(kept.size(), 1u);
    EXPECT_EQ(settings.mail.sender, QStringLiteral("b@example.org"));

    // Without a keyring the password is asked at send time: the field is off.
    center.keyringAvailable = [] { return false; };
    zt::test::OnNextModal<CZTOptionsDialog>([&](CZTOptionsDialog* d) {
        EXPECT_FALSE(d->mailPassword->isEnabled());
        d->reject();
    });
    frame->Execute(ID_OPTIONS);
}

// Addresses typed into the address dialog join the settings' address list
// and are offered the next time.
TEST_F(Reminders, ChosenAddressesAreKeptInTheSettings) {
    settings.mail.server = QStringLiteral("localhost");
    settings.mail.addresses = {QStringLiteral("Bert <bert@example.org>")};
    auto fill = [&](std::vector<QString> typed, QStringList* offered) {
        zt::test::OnNextModal<CZTReminderDialog>([&, typed, offered](CZTReminderDialog* d) {
            EXPECT_TRUE(d->MailBox()->isEnabled());
            d->chooseAddresses = [&, typed, offered](CZTAddressDialog& a) {
                for (int i = 0; i < a.Input()->count(); ++i) offered->append(a.Input()->itemText(i));
                for (const QString& t : typed) {
                    a.Input()->setCurrentText(t);
                    for (QPushButton* b : a.findChildren<QPushButton*>())
                        if (b->text() == QStringLiteral("&Hinzufügen")) QTest::mouseClick(b, Qt::LeftButton);
                }
                a.accept();
                return a.result() == QDialog::Accepted;
            };
            d->MailBox()->setChecked(true);
            EXPECT_TRUE(d->MailBox()->isChecked());
            d->reject();
        });
        frame->Execute(ID_REMINDERS);
    };
    QStringList offered;
    fill({QStringLiteral("Anna Beispiel <anna@example.org>"), QStringLiteral("BERT@example.org")}, &offered);
    EXPECT_EQ(offered, QStringList{QStringLiteral("Bert <bert@example.org>")});
    // Bert was known already (the address decides, not its case).
    EXPECT_EQ(settings.mail.addresses,
              (QStringList{QStringLiteral("Bert <bert@example.org>"), QStringLiteral("Anna Beispiel <anna@example.org>")}));
    CZTSettings again;
    again.Load();
    EXPECT_EQ(again.mail.addresses, settings.mail.addresses);
    offered.clear();
    fill({QStringLiteral("carl@example.org")}, &offered);
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Bert <bert@example.org>"),
                                   QStringLiteral("Anna Beispiel <anna@example.org>")}));
    EXPECT_EQ(settings.mail.addresses.size(), 3);
}

} // namespace
