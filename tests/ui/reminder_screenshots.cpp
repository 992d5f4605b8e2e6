// Pictures of the reminder dialog and a notification window:
// ui_reminder_screenshots OUTDIR (run under Xvfb, see scripts/screenshots.sh).
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTimer>

#include "base/system.h"
#include "core/document.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/remindercenter.h"
#include "ui/reminderwindows.h"
#include "ui/settings.h"

using namespace zt::ui;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 1;
    const QString out = QString::fromLocal8Bit(argv[1]);
    CZTSettings settings;
    settings.Load();
    settings.mail.server = QStringLiteral("localhost");
    CMainFrame frame(settings);
    frame.show();
    CZTDocument& doc = frame.Document();
    CZTPageNode* projects = doc.AddPage(nullptr, "Projekte");
    CZTPageNode* report = doc.AddPage(projects, "Bericht 2027");
    doc.AddPage(nullptr, "Notizen");
    frame.TreeView()->SelectPage(report);
    const int64_t now = zt::CutToMinute(zt::CurrentClock().Now());
    zt::CZTReminder a;
    a.time = now + 3600;
    a.text = "Bericht abgeben";
    a.page = report->Ident();
    a.repeat = 10;
    frame.Reminders().List().Add(a);
    zt::CZTReminder b;
    b.time = now + 86400 * 3;
    b.text = "Projektbesprechung";
    b.page = projects->Ident();
    b.flags |= zt::kReminderMail | zt::kReminderAttach;
    b.address = "team@example.org";
    frame.Reminders().List().Add(b);
    bool ok = true;
    frame.Reminders().onDialog = [&](CZTReminderDialog& d) {
        d.TextEdit()->setText(QStringLiteral("Zahnarzt"));
        d.RepeatBox()->setCurrentIndex(0);
        QTimer::singleShot(500, &d, [&] {
            ok &= d.grab().save(out + QStringLiteral("/reminder-dialog.png"));
            d.reject();
        });
    };
    frame.Reminders().EditReminders();
    zt::CZTReminder due = a;
    due.time = now;
    frame.Reminders().List().Clear();
    frame.Reminders().List().Add(due);
    frame.Reminders().desktopNotify = nullptr;
    frame.Reminders().FireDue();
    auto windows = frame.Reminders().Windows();
    if (windows.empty()) return 2;
    doc.Archive().SetModified(false);
    app.setQuitOnLastWindowClosed(false);
    QTimer::singleShot(500, [&] {
        ok &= windows[0]->grab().save(out + QStringLiteral("/reminder-notification.png"));
        QCoreApplication::exit(0); // quit() would close the windows and ask
    });
    app.exec();
    frame.Reminders().DocumentCleared();
    doc.Archive().SetModified(false);
    return ok ? 0 : 3;
}
