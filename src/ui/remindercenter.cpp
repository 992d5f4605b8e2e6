#include "ui/remindercenter.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "base/system.h"
#include "core/document.h"
#include "reminders/secretstore.h"
#include "ui/reminderwindows.h"
#include "ui/settings.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#ifdef ZT_HAVE_QTDBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#endif
#ifdef ZT_HAVE_MULTIMEDIA
#include <QSoundEffect>
#endif

namespace zt::ui {

namespace {

void FreedesktopNotify(const QString& summary, const QString& body) {
#ifdef ZT_HAVE_QTDBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")))
        return;
    QDBusMessage m = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    m << QStringLiteral("Zettrix") << 0u << QString() << summary << body << QStringList() << QVariantMap()
      << int(-1);
    bus.call(m, QDBus::NoBlock);
#else
    (void)summary;
    (void)body;
#endif
}

} // namespace

CZTReminderCenter::CZTReminderCenter(CZTDocument& doc, CZTSettings& settings, std::function<Prompter&()> prompter,
                                     QWidget* owner)
    : QObject(owner), doc_(doc), settings_(settings), prompter_(std::move(prompter)), owner_(owner) {
    reminderTimer_ = new QTimer(this);
    reminderTimer_->setSingleShot(true);
    wakeUpTimer_ = new QTimer(this);
    wakeUpTimer_->setSingleShot(true);
    connect(reminderTimer_, &QTimer::timeout, this, &CZTReminderCenter::FireDue);
    connect(wakeUpTimer_, &QTimer::timeout, this, &CZTReminderCenter::Arm);
    desktopNotify = FreedesktopNotify;
    keyringAvailable = [] { return SecretStoreAvailable(); };
    keepPassword = [](const std::string& server, const std::string& user, const std::string& password) {
        if (password.empty()) {
            ClearMailPassword(server, user);
            return true;
        }
        return StoreMailPassword(server, user, password);
    };
}

CZTReminderCenter::~CZTReminderCenter() {
    for (auto& w : windows_)
        if (w) delete w.data();
}

CZTReminderOptions CZTReminderCenter::Options() const {
    const auto& p = settings_.prefs;
    CZTReminderOptions o;
    o.openAll = p.alarmOpenAll != 0;
    o.openOld = p.alarmOpenOld != 0;
    o.expRoot = p.alarmExpRoot != 0;
    o.expPage = p.alarmExpPage != 0;
    o.impRoot = p.alarmImpRoot != 0;
    o.impPage = p.alarmImpPage != 0;
    return o;
}

CZTApproval CZTReminderCenter::Approval() const {
    return {LoadApprovalKey(DefaultApprovalKeyPath()), doc_.Archive().User()};
}

bool CZTReminderCenter::MailAvailable() const { return !settings_.mail.server.isEmpty(); }

CZTOptionsDialog::MailPage CZTReminderCenter::MailOptionsPage() {
    CZTOptionsDialog::MailPage page;
    page.prefs = &settings_.mail;
    page.keyring = keyringAvailable && keyringAvailable();
    page.storePassword = [this](const QString& server, const QString& user, const QString& password) {
        if (!keepPassword || !keepPassword(server.toStdString(), user.toStdString(), password.toStdString())) {
            prompter_().Message(MessageText(Msg::MailPasswordNotKept), Prompter::Icon::Warning);
            return false;
        }
        return true;
    };
    page.applied = [this] {
        settings_.SaveMail();
        MailSettingsChanged();
    };
    return page;
}

void CZTReminderCenter::MailSettingsChanged() { passwords_.reset(); }

void CZTReminderCenter::RememberAddresses(const QStringList& addresses) {
    auto bare = [](const QString& text) { return CZTMailAddress::Parse(text).address.toLower(); };
    QStringList known;
    for (const QString& a : settings_.MailAddresses()) known.append(bare(a));
    bool added = false;
    for (const QString& a : addresses) {
        const QString key = bare(a);
        if (key.isEmpty() || known.contains(key)) continue;
        known.append(key);
        settings_.mail.addresses.append(a.trimmed());
        added = true;
    }
    if (added) settings_.SaveMailAddresses();
}

CZTReminderMailContext CZTReminderCenter::MailContext() {
    CZTReminderMailContext c;
    const CZTMailPrefs& m = settings_.mail;
    c.settings.server = m.server.toStdString();
    c.settings.port = m.port;
    c.settings.tls = CZTMailSettings::TlsFromName(m.tls.toStdString());
    c.settings.user = m.user.toStdString();
    c.settings.sender = m.sender.toStdString();
    c.options = Options();
    c.composeBody = composeBody;
    if (!passwords_) passwords_ = std::make_unique<CZTMailPasswords>(prompter_());
    c.passwords = passwords_.get();
    return c;
}

void CZTReminderCenter::DocumentOpened() {
    list_.Clear();
    LoadReminders(doc_, list_, Options());
    ApproveMailReminders(doc_, list_, Approval(), prompter_());
    const int64_t now = CutToMinute(CurrentClock().Now());
    if (settings_.prefs.alarmOpenOld) {
        for (const CZTReminder& r : list_.Due(now)) {
            if (r.page && showPage) showPage(r.page);
            Notify(r, true);
        }
    }
    Arm();
}

void CZTReminderCenter::DocumentCleared() {
    list_.Clear();
    reminderTimer_->stop();
    wakeUpTimer_->stop();
}

void CZTReminderCenter::StoreReminders() {
    const CZTApproval approval = Approval();
    zt::StoreReminders(doc_, list_, CurrentClock().Now(), &approval);
    Arm();
}

bool CZTReminderCenter::ConfirmClose() {
    if (!list_.HasActive() && Windows().empty()) return true;
    return prompter_().AskYesNo(MessageText(Msg::ReminderCloseWarning));
}

void CZTReminderCenter::Arm() {
    reminderTimer_->stop();
    wakeUpTimer_->stop();
    const int64_t now = CurrentClock().Now();
    const CZTReminderList::Arming a = list_.Arm(now, firing_);
    if (a.kind == CZTReminderList::Arming::Reminder) reminderTimer_->start(int(a.delay * 1000 + 50));
    else if (a.kind == CZTReminderList::Arming::WakeUp) wakeUpTimer_->start(int(a.delay * 1000));
}

void CZTReminderCenter::FireDue() {
    if (firing_) return;
    firing_ = true;
    const int64_t now = CutToMinute(CurrentClock().Now());
    if (dialog_) {
        Fire(dialog_->Working(), now);
        dialog_->Working().Reschedule(now);
        dialog_->Refill();
    } else {
        Fire(list_, now);
        list_.Reschedule(now);
    }
    firing_ = false;
    Arm();
}

void CZTReminderCenter::Fire(CZTReminderList& list, int64_t now) {
    bool sounded = false;
    for (const CZTReminder& r : list.Due(now)) {
        const bool window = !(r.flags & kReminderNoWindow);
        if (r.page && window && showPage) showPage(r.page);
        if (window && !sounded) {
            sounded = true;
            if (settings_.prefs.alarmSnd) PlaySound();
        }
        if (r.Mail()) {
            SendMail(list, r, now);
            if (!window) continue;
        }
        Notify(r, false);
    }
}

void CZTReminderCenter::SendMail(CZTReminderList& list, const CZTReminder& r, int64_t now) {
    if (!MailAvailable()) return;
    zt::SendReminderMail(doc_, list, r, now, MailContext(), prompter_());
}

void CZTReminderCenter::Notify(const CZTReminder& r, bool old) {
    if (r.Mail() && !old && (r.flags & kReminderNoWindow)) return;
    const QString path = QString::fromStdString(Cp1252ToUtf8(ReminderPagePath(doc_, r.page)));
    auto* w = new CZTNotificationWindow(r, old, path, nullptr);
    connect(w, &CZTNotificationWindow::snoozed, this, &CZTReminderCenter::TakeSnoozed);
    connect(w, &CZTNotificationWindow::showPageRequested, this, [this](int page) {
        if (showPage) showPage(page);
    });
    connect(w, &CZTNotificationWindow::mailRequested, this, [this](const CZTReminder& m) {
        SendMail(dialog_ ? dialog_->Working() : list_, m, CutToMinute(CurrentClock().Now()));
        Arm();
    });
    windows_.emplace_back(w);
    w->show();
    w->raise();
    if (desktopNotify) desktopNotify(w->windowTitle(), QString::fromStdString(Cp1252ToUtf8(r.text)));
}

void CZTReminderCenter::TakeSnoozed(const CZTReminder& copy) {
    if (dialog_) {
        dialog_->Working().Add(copy);
        dialog_->Refill();
    } else {
        list_.Add(copy);
    }
    Arm();
}

std::vector<CZTNotificationWindow*> CZTReminderCenter::Windows() const {
    std::vector<CZTNotificationWindow*> out;
    for (const auto& w : windows_)
        if (w) out.push_back(w.data());
    return out;
}

void CZTReminderCenter::PlaySound() {
    ++soundsPlayed;
    const QString command = settings_.prefs.alarmSndCmd.trimmed();
    // A sound file of its own, or the last word of a command line when that
    // names a sound file, plays here; another command line starts as a
    // program; nothing set rings the bell.
    QString file = command;
    if (!QFileInfo(file).isFile()) {
        const QStringList words = QProcess::splitCommand(command);
        file = words.isEmpty() ? QString() : words.last();
    }
    if (!file.isEmpty() && QFileInfo(file).isFile() && file.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive)) {
#ifdef ZT_HAVE_MULTIMEDIA
        auto* effect = qobject_cast<QSoundEffect*>(sound_);
        if (!effect) {
            effect = new QSoundEffect(this);
            sound_ = effect;
        }
        effect->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
        effect->play();
        return;
#endif
    }
    if (!command.isEmpty() && !QFileInfo(command).isFile()) {
        QStringList words = QProcess::splitCommand(command);
        if (!words.isEmpty()) {
            const QString program = words.takeFirst();
            if (QProcess::startDetached(program, words)) return;
        }
    }
    QApplication::beep();
}

void CZTReminderCenter::EditReminders() {
    CZTReminderDialog dialog(doc_, list_, currentPage ? currentPage() : 0, MailAvailable(), prompter_(), owner_);
    dialog.knownAddresses = settings_.MailAddresses();
    dialog.addressesChosen = [this](const QStringList& chosen) { RememberAddresses(chosen); };
    dialog_ = &dialog;
    if (onDialog) onDialog(dialog);
    const bool ok = dialog.exec() == QDialog::Accepted;
    dialog_ = nullptr;
    if (ok && !dialog.Working().SameAs(list_)) {
        list_ = dialog.Working();
        StoreReminders();
    }
    Arm();
}

} // namespace zt::ui
