#include "ui/scriptconsole.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "exchange/addresses.h"
#include "exchange/exchange.h"
#include "script/scripthost.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/scriptenv.h"
#include "ui/settings.h"
#include "ui/textview.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include <vector>

namespace zt::ui {

namespace {

QString U(const std::string& cp1252) { return QString::fromStdString(zt::Cp1252ToUtf8(cp1252)); }

} // namespace

CZTScriptConsole::CZTScriptConsole(CMainFrame& frame, QWidget* parent)
    : QWidget(parent, Qt::Window), frame_(frame), env_(std::make_unique<CZTWindowScriptEnvironment>(frame)),
      host_(std::make_unique<zt::script::CScriptHost>()) {
    setWindowTitle(QStringLiteral("JavaScript Console"));
    setObjectName(QStringLiteral("ScriptConsole"));
    archive_ = new QComboBox(this);
    script_ = new QComboBox(this);
    script_->setObjectName(QStringLiteral("ScriptPage"));
    start_ = new QPushButton(QStringLiteral("Sta&rt"), this);
    stop_ = new QPushButton(QStringLiteral("&Stop"), this);
    clear_ = new QPushButton(QStringLiteral("&Löschen"), this);
    info_ = new QPushButton(QStringLiteral("Info..."), this);
    output_ = new QTextEdit(this);
    output_->setObjectName(QStringLiteral("ScriptOutput"));
    output_->setReadOnly(true);
    output_->setAcceptRichText(false);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    output_->setFont(mono);

    auto* choice = new QGridLayout;
    choice->addWidget(new QLabel(QStringLiteral("Zettrix Archiv"), this), 0, 0);
    choice->addWidget(archive_, 0, 1);
    choice->addWidget(new QLabel(QStringLiteral("Script-Seite"), this), 1, 0);
    choice->addWidget(script_, 1, 1);
    choice->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {start_, stop_, clear_, info_}) buttons->addWidget(b);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choice);
    layout->addLayout(buttons);
    layout->addWidget(new QLabel(QStringLiteral("JavaScript-Ausgabe"), this));
    layout->addWidget(output_, 1);
    resize(560, 420);

    host_->SetEnvironment(env_.get());
    host_->SetOutput([this](const std::string& text) { Append(QString::fromStdString(text)); });
    // The window and the console stay alive while a script runs.
    host_->SetIdleHandler([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });

    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    connect(stop_, &QPushButton::clicked, this, &CZTScriptConsole::Stop);
    connect(clear_, &QPushButton::clicked, output_, &QTextEdit::clear);
    connect(info_, &QPushButton::clicked, this, &CZTScriptConsole::ShowInfo);
    connect(&frame_, &CMainFrame::documentChanged, this, [this] {
        if (!IsRunning()) Reload();
    });
    SetRunning(false);
    Reload();
}

CZTScriptConsole::~CZTScriptConsole() { host_->Stop(); }

void CZTScriptConsole::Reload() {
    archive_->clear();
    const QString path = frame_.DocumentPath();
    archive_->addItem(path.isEmpty() ? frame_.DocumentTitle() : QFileInfo(path).fileName(), path);
    const QString chosen = script_->currentData().toString();
    script_->clear();
    CZTDocument& doc = frame_.Document();
    CZTPageWalker walker(doc.Tree());
    CZTWalkStep step;
    const CZTPageNode* current = frame_.TreeView()->CurrentPage();
    int select = -1;
    while (walker.NextInWalk(step)) {
        const QString link = QString::fromStdString(zt::Cp1252ToUtf8(zt::LinkPath(step.node)));
        script_->addItem(QString(2 * (step.node->Depth() - 1), QChar(' ')) + U(step.node->Title()), link);
        if (link == chosen || (select < 0 && step.node == current)) select = script_->count() - 1;
    }
    if (select >= 0) script_->setCurrentIndex(select);
}

bool CZTScriptConsole::ChooseScript(const QString& linkPath) {
    const int i = script_->findData(linkPath);
    if (i < 0) return false;
    script_->setCurrentIndex(i);
    return true;
}

bool CZTScriptConsole::IsRunning() const { return host_->IsRunning(); }

void CZTScriptConsole::Append(const QString& text) {
    QTextCursor c(output_->document());
    c.movePosition(QTextCursor::End);
    c.insertText(text);
    output_->setTextCursor(c);
    output_->ensureCursorVisible();
}

void CZTScriptConsole::SetRunning(bool running) {
    start_->setEnabled(!running);
    script_->setEnabled(!running);
    archive_->setEnabled(!running);
    stop_->setEnabled(running);
}

bool CZTScriptConsole::Start() {
    if (IsRunning()) return false;
    if (archive_->count() == 0) {
        Append(QStringLiteral("No archive selected.\n"));
        return false;
    }
    CZTDocument& doc = frame_.Document();
    CZTPageNode* page = zt::ResolvePath(doc.Tree(), nullptr, zt::Utf8ToCp1252(script_->currentData().toString().toStdString()));
    if (!page) {
        Append(QStringLiteral("No script selected.\n"));
        return false;
    }
    // Nothing runs without a current page; the text shown is stored first,
    // so that a script page being edited runs as it stands.
    if (!frame_.TreeView()->CurrentPage()) return false;
    env_->StoreCurrentPage();
    std::string text;
    if (!zt::PageTextInFormat(doc, page->Ident(), zt::kFormatText, text)) return false;
    return RunSource(zt::Cp1252ToUtf8(text), script_->currentData().toString().toStdString());
}

bool CZTScriptConsole::FetchAddress(const QString& address, std::string& source, std::string& error) {
    // The page being edited is stored first, so that the address reads the
    // text as it stands.
    if (frame_.TreeView()->CurrentPage()) env_->StoreCurrentPage();
    zt::AddressContext context;
    context.openDocument = &frame_.Document();
    context.prompter = &frame_.CurrentPrompter();
    context.textMode = zt::RtfTextMode::Utf8;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    zt::AddressResult r = zt::ResolveAddress(address.toStdString(), context);
    QApplication::restoreOverrideCursor();
    if (!r.ok) {
        error = r.error;
        return false;
    }
    // Script files of older programs are written in Windows-1252.
    source = zt::IsUtf8(r.content) ? std::move(r.content) : zt::Cp1252ToUtf8(r.content);
    return true;
}

namespace {

// The main window takes no input while a script runs over it (the console,
// a window of its own, stays usable), and the text view marks no links
// while scripts change texts; both come back as they were.
class WindowLock {
public:
    explicit WindowLock(CMainFrame& frame) : frame_(frame) {
        frame.TextView()->SetAutoLink(false);
        for (QWidget* w : Parts()) {
            if (!w || !w->isEnabled()) continue;
            w->setEnabled(false);
            locked_.push_back(w);
        }
    }
    ~WindowLock() {
        for (const QPointer<QWidget>& w : locked_)
            if (w) w->setEnabled(true);
        frame_.TextView()->SetAutoLink(frame_.Settings().prefs.autoLink != 0);
    }
    WindowLock(const WindowLock&) = delete;
    WindowLock& operator=(const WindowLock&) = delete;

private:
    std::vector<QWidget*> Parts() const {
        std::vector<QWidget*> parts{frame_.centralWidget(), frame_.menuBar()};
        for (QToolBar* bar : frame_.findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly)) parts.push_back(bar);
        return parts;
    }
    CMainFrame& frame_;
    std::vector<QPointer<QWidget>> locked_;
};

} // namespace

bool CZTScriptConsole::RunSource(const std::string& source, const std::string& name) {
    if (IsRunning()) return false; // a second script waits for nothing: it is ignored
    zt::script::ScriptRunOptions options;
    options.fileName = name;
    SetRunning(true);
    frame_.CurrentPrompter().Status("Running JavaScript...");
    zt::script::ScriptRunResult r;
    {
        WindowLock lock(frame_);
        r = host_->Run(source, options);
    }
    frame_.CurrentPrompter().Status("");
    SetRunning(false);
    if (r.ok && !r.result.empty()) Append(QString::fromStdString(r.result) + QLatin1Char('\n'));
    frame_.UpdateCommandUI();
    return r.ok;
}

void CZTScriptConsole::Stop() { host_->Stop(); }

void CZTScriptConsole::ShowInfo() {
    QMessageBox::information(this, windowTitle(),
                             QStringLiteral("JavaScript: %1")
                                 .arg(QString::fromStdString(zt::script::CScriptHost::EngineVersion())));
}

void CZTScriptConsole::closeEvent(QCloseEvent* event) {
    if (IsRunning()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

CZTScriptConsole* ShowScriptConsole(CMainFrame& frame) {
    auto* console = frame.findChild<CZTScriptConsole*>(QString(), Qt::FindDirectChildrenOnly);
    if (!console) console = new CZTScriptConsole(frame, &frame);
    console->show();
    console->raise();
    console->activateWindow();
    return console;
}

void AddScriptConsoleCommand(CMainFrame& frame, QMenu* menu) {
    QAction* action = menu->addAction(QStringLiteral("JavaScript &Konsole"));
    action->setObjectName(QStringLiteral("ScriptConsoleAction"));
    action->setStatusTip(QStringLiteral("JavaScript Konsole einblenden."));
    action->setToolTip(QStringLiteral("JavaScript"));
    QObject::connect(action, &QAction::triggered, &frame, [&frame] { ShowScriptConsole(frame); });
}

} // namespace zt::ui
