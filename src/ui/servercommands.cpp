#include "ui/servercommands.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/document.h"
#include "remote/remotedoc.h"
#include "ui/certificatedialog.h"
#include "ui/commands.h"
#include "ui/mainframe.h"
#include "ui/remindercenter.h"
#include "ui/serverdialogs.h"
#include "ui/settings.h"
#include "ui/textview.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <set>
#include <thread>

namespace zt::ui {

namespace {

QString T(Msg id) { return QString::fromUtf8(MessageText(id)); }
std::string Cp(const QString& s) { return Utf8ToCp1252(s.toStdString()); }
bool OnGuiThread() { return QThread::currentThread() == qApp->thread(); }

// Runs `f` on the user-interface thread and waits for it.
template <class F> auto OnGui(F&& f) {
    using R = decltype(f());
    if (OnGuiThread()) return f();
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(qApp, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(qApp, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

} // namespace

// Messages and questions of a transfer reach the user on the user-interface
// thread, whichever thread the request runs on.
class CZTServerSession::CThreadPrompter : public Prompter {
public:
    explicit CThreadPrompter(CMainFrame& frame) : frame_(frame) {}
    void Message(std::string_view text, Icon icon) override {
        std::string t(text);
        OnGui([&] { frame_.CurrentPrompter().Message(t, icon); });
    }
    bool AskYesNo(std::string_view text) override {
        std::string t(text);
        return OnGui([&] { return frame_.CurrentPrompter().AskYesNo(t); });
    }
    bool AskOkCancel(std::string_view text) override {
        std::string t(text);
        return OnGui([&] { return frame_.CurrentPrompter().AskOkCancel(t); });
    }

private:
    CMainFrame& frame_;
};

// The transfer runs on a worker thread while the modal progress dialog
// "Inhalt laden" shows the bytes sent and received; "Abbrechen" cancels it.
class CZTServerSession::CProgressRunner : public remote::TransferRunner {
public:
    CProgressRunner(CZTServerSession& session, QWidget* parent) : session_(session), parent_(parent) {}

    bool Run(remote::CHttpTransport& transport, const std::function<bool()>& work) override {
        if (!session_.useProgressDialog || !OnGuiThread()) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            bool ok = work();
            QApplication::restoreOverrideCursor();
            return ok;
        }
        std::atomic<int64_t> sent{0}, received{0}, receivedTotal{0};
        transport.progress = [&](int64_t s, int64_t, int64_t r, int64_t rt) {
            sent = s;
            received = r;
            receivedTotal = rt;
        };
        QDialog dialog(parent_);
        dialog.setObjectName(QStringLiteral("progressDialog"));
        dialog.setWindowTitle(T(Msg::RemoteLoadTitle));
        auto* caption = new QLabel(&dialog);
        auto* line = new QLabel(&dialog);
        auto* elapsedLine = new QLabel(&dialog);
        auto* cancel = new QPushButton(T(Msg::RemoteCancel), &dialog);
        auto* v = new QVBoxLayout(&dialog);
        for (QWidget* w : {static_cast<QWidget*>(caption), static_cast<QWidget*>(line),
                           static_cast<QWidget*>(elapsedLine), static_cast<QWidget*>(cancel)})
            v->addWidget(w);
        QObject::connect(cancel, &QPushButton::clicked, [&] {
            transport.Cancel();
            cancel->setEnabled(false);
        });
        std::atomic<bool> done{false};
        bool result = false;
        QElapsedTimer clock;
        clock.start();
        QTimer timer;
        timer.setInterval(50);
        int64_t shownAt = -1;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (done) {
                dialog.accept();
                return;
            }
            const int64_t seconds = clock.elapsed() / 1000;
            if (seconds == shownAt) return; // at most one update a second
            shownAt = seconds;
            const int64_t r = received, s = sent;
            if (r > 0) {
                caption->setText(QStringLiteral("Empfangen..."));
                line->setText(QString::asprintf("Empfangen %5lld bytes", static_cast<long long>(r)));
            } else if (s > 0) {
                caption->setText(QStringLiteral("Senden..."));
                line->setText(QString::asprintf("Gesendet %5lld bytes", static_cast<long long>(s)));
            }
            elapsedLine->setText(QString::asprintf("Verstrichene Zeit: %lldm:%02llds",
                                                   static_cast<long long>(seconds / 60),
                                                   static_cast<long long>(seconds % 60)));
        });
        std::thread worker([&] {
            result = work();
            done = true;
        });
        timer.start();
        // Closing the dialog otherwise than by the end of the work cancels it;
        // the dialog comes back until the worker has ended.
        while (!done) {
            dialog.exec();
            if (!done) transport.Cancel();
        }
        worker.join();
        transport.progress = nullptr;
        return result;
    }

private:
    CZTServerSession& session_;
    QWidget* parent_;
};

// The trusted server certificates in the settings, and the question for a
// certificate that is not among them.
class CZTServerSession::CTrust : public remote::TrustStore {
public:
    explicit CTrust(QWidget* parent) : parent_(parent) {}
    std::string Load() override {
        std::unique_ptr<QSettings> s = CZTSettings::Open();
        QByteArray b = s->value(QStringLiteral("Certificates/ServerSSL")).toByteArray();
        return std::string(b.constData(), size_t(b.size()));
    }
    void Save(const std::string& der) override {
        std::unique_ptr<QSettings> s = CZTSettings::Open();
        s->setValue(QStringLiteral("Certificates/ServerSSL"), QByteArray(der.data(), qsizetype(der.size())));
    }
    remote::TrustDecision Ask(const std::string& der) {
        return OnGui([&] {
            for (;;) {
                QMessageBox box(QMessageBox::Warning, T(Msg::RemoteCertTitle), T(Msg::RemoteCertUnknown),
                                QMessageBox::NoButton, parent_);
                QPushButton* trust = box.addButton(T(Msg::RemoteCertTrust), QMessageBox::AcceptRole);
                box.addButton(T(Msg::RemoteCertRefuse), QMessageBox::RejectRole);
                QPushButton* view = box.addButton(T(Msg::RemoteCertView), QMessageBox::ActionRole);
                box.exec();
                if (box.clickedButton() == view) {
                    CCertificateDialog dialog(QByteArray(der.data(), qsizetype(der.size())), parent_);
                    dialog.exec();
                    continue;
                }
                return box.clickedButton() == trust ? remote::TrustDecision::Trust : remote::TrustDecision::Refuse;
            }
        });
    }

private:
    QWidget* parent_;
};

// The local core's content source: a page's body and files come from the
// server document the first time they are needed.
class CZTServerSession::CSource : public CZTContentSource {
public:
    explicit CSource(CZTServerSession& session) : session_(session) {}
    bool FetchNode(CZTDocCore& core, int32_t ident, std::string& error) override {
        remote::CRemoteDocument* doc = session_.doc_.get();
        auto it = session_.positions_.find(ident);
        if (!doc || it == session_.positions_.end()) {
            error = "no server page";
            return false;
        }
        const bool ok = doc->StoreInLocal(it->second, core, ident, error);
        session_.connected_ = session_.link_->Connected();
        // Told once: the page is not asked for again until everything is
        // fetched or the document reloaded.
        if (!ok) session_.link_->Show(error);
        return ok;
    }
    bool FetchNodes(CZTDocCore& core, std::set<int32_t>& idents, std::string& error) override {
        remote::CRemoteDocument* doc = session_.doc_.get();
        if (!doc) return false;
        // Everything missing comes under one transfer; what arrived is stored
        // even when a later page failed.
        const bool all = doc->FetchAll(true);
        session_.connected_ = session_.link_->Connected();
        for (auto i = idents.begin(); i != idents.end();) {
            auto it = session_.positions_.find(*i);
            if (it != session_.positions_.end() && doc->Fetched(it->second) &&
                doc->StoreInLocal(it->second, core, *i, error))
                i = idents.erase(i);
            else
                ++i;
        }
        if (!all && error.empty()) error = "fetch failed";
        return all && idents.empty();
    }
    int32_t PendingFileCount(int32_t ident) const override {
        auto it = session_.positions_.find(ident);
        if (!session_.doc_ || it == session_.positions_.end() || it->second > session_.doc_->PageCount()) return 0;
        return int32_t(session_.doc_->Entry(it->second).nfiles);
    }

private:
    CZTServerSession& session_;
};

// ---- the session

CZTServerSession::CZTServerSession(CMainFrame& frame)
    : frame_(frame), prompter_(std::make_unique<CThreadPrompter>(frame)),
      runner_(std::make_unique<CProgressRunner>(*this, &frame)), trust_(std::make_unique<CTrust>(&frame)),
      source_(std::make_unique<CSource>(*this)) {}

CZTServerSession::~CZTServerSession() {
    // The keep-alive releases the lock; no window to show anything in.
    doc_.reset();
}

QString CZTServerSession::DefaultAddress() { return QStringLiteral("localhost:8080/ztweb/ztDB.php"); }

bool CZTServerSession::Handles(int id) const { return id == ID_CONNECT || id == ID_RELOAD; }

bool CZTServerSession::IsEnabled(int id) const {
    if (id == ID_CONNECT) return true;
    if (id == ID_RELOAD) return Active();
    return false;
}

void CZTServerSession::Execute(int id) {
    if (id == ID_CONNECT) Connect();
    if (id == ID_RELOAD && Active()) Reload();
}

bool CZTServerSession::Active() const { return doc_ && doc_->IsOpen(); }

bool CZTServerSession::PrepareCommand(int id) {
    if (!Active()) return true;
    switch (id) {
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_PREVIEW:
    case ID_EXPORT_TEXT:
    case ID_EXPORT_TEXT_PAGES:
    case ID_EXPORT_DIRECTORY:
    case ID_EXPORT_DIRECTORY_PAGES:
    case ID_EXPORT_SPECIAL_DIRECTORY:
    case ID_EXPORT_HTML:
    case ID_EDIT_FIND:
    case ID_EDIT_REPEAT:
    case ID_EDIT_REPLACE:
    case ID_SEARCH_REPLACE:
    case ID_FILE_SAVE_AS:
    case ID_DOC_PROPERTIES:
    case ID_HISTORY:
    case ID_ENCRYPTION: break;
    default: return true;
    }
    // The transfer has shown why it failed.
    return frame_.Document().Archive().Core().EnsureAllContent();
}

QString CZTServerSession::StatusText() const {
    return T(Active() && connected_ ? Msg::RemoteConnected : Msg::RemoteDisconnected);
}

std::unique_ptr<remote::CServerLink> CZTServerSession::NewLink(const remote::Connection& c) {
    auto link = std::make_unique<remote::CServerLink>(*prompter_, c);
    link->runner = runner_.get();
    auto& t = link->Transport();
    t.trust = trust_.get();
    t.askTrust = [this](const std::string& der) { return trust_->Ask(der); };
    t.askMissing = [this] { return !prompter_->AskYesNo(MessageText(Msg::RemoteCertMissing)); };
    return link;
}

void CZTServerSession::Connect() {
    Prompter& ask = frame_.CurrentPrompter();
    if (!frame_.Reminders().ConfirmClose()) return;
    CZTSettings& settings = frame_.Settings();
    for (;;) {
        if (conn_.user.empty()) {
            conn_.user = settings.prefs.user.isEmpty() ? frame_.Document().Archive().User()
                                                       : Cp(settings.prefs.user);
        }
        CZTConnectDialog dialog(settings.prefs.hosts, DefaultAddress(), QString::fromStdString(Cp1252ToUtf8(conn_.user)),
                                QString::fromStdString(Cp1252ToUtf8(conn_.password)), settings.help.ssl != 0,
                                &frame_);
        if (dialog.exec() != QDialog::Accepted || dialog.Address().isEmpty()) return;
        auto typed = remote::ParseTypedAddress(dialog.Address().toStdString());
        if (!typed) return;
        if (typed->otherScheme && !ask.AskOkCancel(MessageText(Msg::RemoteOtherProtocol))) return;
        // The host list: newest first, an equal entry moves to the front.
        QString entry = QString::fromStdString(typed->hostPort);
        if (!typed->scriptPath.empty()) entry += QLatin1Char('/') + QString::fromStdString(typed->scriptPath);
        settings.prefs.hosts.removeAll(entry);
        settings.prefs.hosts.prepend(entry);
        while (settings.prefs.hosts.size() > 5) settings.prefs.hosts.removeLast();

        remote::Connection c;
        c.user = Cp(dialog.User());
        c.password = Cp(dialog.Password());
        c.hostPort = typed->hostPort;
        c.scriptPath = typed->scriptPath;
        c.ssl = dialog.Ssl();
        conn_ = c;
        std::unique_ptr<remote::CServerLink> link = NewLink(c);
        bool again = false;
        for (;;) {
            srv::GetContentAnswer list;
            if (!link->LoadContentList(list)) return;
            CZTDocChoiceDialog choice(list, &frame_);
            if (choice.exec() != QDialog::Accepted) return;
            const int sel = choice.Selected();
            const srv::ContentDoc* doc = sel >= 0 && sel < int(list.docs.size()) ? &list.docs[size_t(sel)] : nullptr;
            using Choice = CZTDocChoiceDialog::Choice;
            switch (choice.Chosen()) {
            case Choice::Open: {
                if (!doc) return;
                // The shown document goes: its changes are asked for first,
                // as before opening any other document.
                if (!frame_.SaveModified()) return;
                const bool wasServer = Active();
                Disconnect();
                // The session's link serves the opened document from now on.
                link_ = std::move(link);
                // A server document that went is not left in the window
                // without its server.
                if (!OpenDocument(*doc, choice.ReadWrite()) && wasServer) frame_.NewDocument();
                return;
            }
            case Choice::New: {
                CZTNewDocDialog d(&frame_);
                if (d.exec() == QDialog::Accepted && !d.Name().isEmpty()) link->CreateDocument(Cp(d.Name()));
                break;
            }
            case Choice::Delete: {
                if (!doc) break;
                CZTConfirmDocDialog d(T(Msg::RemoteDeleteDocTitle), T(Msg::RemoteDeleteDocPrompt),
                                      QString::fromStdString(Cp1252ToUtf8(doc->name)), &frame_);
                if (d.exec() == QDialog::Accepted) link->DeleteDocument(doc->name, doc->ident);
                break;
            }
            case Choice::ChangeDoc: {
                if (!doc) break;
                std::vector<srv::UserRight> users;
                std::vector<std::string> all;
                if (!link->ReadDocumentUsers(doc->name, doc->ident, users, all)) {
                    ask.Message(MessageText(Msg::RemoteDocInfoReadFailed));
                    break;
                }
                CZTServerDocPropertiesDialog d(QString::fromStdString(Cp1252ToUtf8(doc->name)), users, all, doc->right, ask,
                                         &frame_);
                if (d.exec() != QDialog::Accepted) break;
                CZTConfirmDocDialog confirm(T(Msg::RemoteChangeDocTitle), T(Msg::RemoteChangeDocPrompt), d.Name(),
                                            &frame_);
                if (confirm.exec() != QDialog::Accepted) break;
                if (!link->ChangeDocument(doc->name, doc->ident, Cp(d.Name()), d.Users()))
                    ask.Message(MessageText(Msg::RemoteDocInfoChangeFailed));
                break;
            }
            case Choice::ChangePassword: {
                CZTPasswordDialog d(QString::fromStdString(Cp1252ToUtf8(link->connection.password)), ask, &frame_);
                if (d.exec() != QDialog::Accepted) break;
                if (link->ChangePassword(Cp(d.NewPassword()))) {
                    // The password is asked for again.
                    conn_.password.clear();
                    again = true;
                } else {
                    ask.Message(MessageText(Msg::RemotePasswordChangeFailed));
                }
                break;
            }
            }
            if (again) break;
        }
    }
}

bool CZTServerSession::OpenDocument(const srv::ContentDoc& chosen, bool readWrite) {
    doc_ = std::make_unique<remote::CRemoteDocument>(*link_);
    doc_->onLockLost = [this] { QMetaObject::invokeMethod(this, [this] { LockLost(); }, Qt::QueuedConnection); };
    if (!doc_->Open(chosen.name, chosen.ident, readWrite)) {
        connected_ = link_->Connected();
        doc_.reset();
        return false;
    }
    if (!ShowCopy()) return false;
    if (readWrite && !doc_->Writable() &&
        !frame_.CurrentPrompter().AskOkCancel(MessageText(Msg::RemoteOpenForWriteFailed))) {
        Disconnect();
        frame_.NewDocument();
        return false;
    }
    return true;
}

bool CZTServerSession::ShowCopy() {
    QString title = QString::fromStdString(Cp1252ToUtf8(doc_->Name()));
    if (!frame_.Settings().prefs.hosts.isEmpty()) title = frame_.Settings().prefs.hosts.front() + QLatin1Char('/') + title;
    frame_.ShowServerDocument(
        [&](CZTDocument& local) {
            std::set<int32_t> pending;
            doc_->OutlineToLocal(local, positions_, pending);
            local.Archive().Core().SetContentSource(source_.get(), std::move(pending));
            return true;
        },
        title);
    connected_ = link_->Connected();
    frame_.SetReadOnly(!doc_->Writable());
    return true;
}

void CZTServerSession::Reload() {
    if (!frame_.SaveModified()) return;
    switch (doc_->Reload()) {
    case remote::CRemoteDocument::ReloadResult::Unchanged:
        connected_ = link_->Connected();
        break;
    case remote::CRemoteDocument::ReloadResult::Reloaded: ShowCopy(); break;
    case remote::CRemoteDocument::ReloadResult::Failed: connected_ = link_->Connected(); break;
    }
}

bool CZTServerSession::Save() {
    if (!Active()) return false;
    frame_.TextView()->SaveCurrentPage();
    // A read-only copy is refused with the reason (read-only, or the lock
    // was lost).
    bool ok = doc_->Writable() ? doc_->MergeLocal(frame_.Document(), positions_) && doc_->Save() : doc_->Save();
    connected_ = link_->Connected();
    if (ok) frame_.Document().Archive().SetModified(false);
    if (doc_->LockLost()) LockLost();
    return ok;
}

void CZTServerSession::LockLost() {
    if (!doc_) return;
    doc_->Poll();
    // The changes stay in the window for "Speichern unter".
    frame_.SetReadOnly(true);
}

void CZTServerSession::Disconnect() {
    if (!doc_) return;
    if (doc_->KeepAliveRunning()) {
        // The release request runs while the notice is shown.
        CZTDisconnectDialog notice(&frame_);
        std::atomic<bool> done{false};
        remote::CRemoteDocument* doc = doc_.get();
        std::thread closer([&] {
            doc->Close();
            done = true;
        });
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, &notice, [&] {
            if (done) notice.accept();
        });
        timer.start(50);
        // "Abbrechen" cancels the release request; the keep-alive still ends
        // before the document goes.
        if (!done && notice.exec() != QDialog::Accepted && !done) doc->CancelKeepAlive();
        closer.join();
    } else {
        doc_->Close();
    }
    // Pages not fetched by now are not to be had any more: they read as not
    // there, and a local save of them is refused.
    CZTDocCore& core = frame_.Document().Archive().Core();
    if (core.ContentSource() == source_.get()) core.DropContentSource();
    doc_.reset();
    positions_.clear();
    connected_ = false;
}

void CZTServerSession::Detach() {
    if (!doc_) return;
    Disconnect();
    frame_.SetReadOnly(false);
}

} // namespace zt::ui
