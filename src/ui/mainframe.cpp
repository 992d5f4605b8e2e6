#include "ui/mainframe.h"

#include <QUrl>
#include <QDesktopServices>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindowStateChangeEvent>

#include <unistd.h>

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/links.h"
#include "core/pagepaths.h"
#include "core/document.h"
#include "core/visithistory.h"
#include "ui/bars.h"
#ifdef ZT_HAVE_SCRIPT
#include "ui/scriptconsole.h"
#include "ui/scriptlinks.h"
#endif
#include "ui/commands.h"
#include "ui/encryptiondialog.h"
#include "ui/docdialogs.h"
#include "ui/finddialog.h"
#include "ui/searchdialog.h"
#include "ui/servercommands.h"
#include "ui/handover.h"
#include "ui/historydialog.h"
#include "ui/remindercenter.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "core/pagepaths.h"
#include "ui/icons.h"
#include "ui/instances.h"
#include "ui/exchangeui.h"
#include "ui/leftview.h"
#include "ui/listview.h"
#include "ui/optionsdialog.h"
#include "ui/pagetreemodel.h"
#include "ui/printui.h"
#include "ui/treedrag.h"
#include "ui/viewframe.h"
#include "ui/qtprompter.h"
#include "ui/settings.h"
#include "ui/textview.h"

namespace zt::ui {

namespace {

// The document keeps one prompter for its life; this one passes everything
// on to the prompter in use, which tests may replace.
class CZTForwardingPrompter : public Prompter {
public:
    explicit CZTForwardingPrompter(std::function<Prompter&()> target) : target_(std::move(target)) {}
    void Message(std::string_view text, Icon icon) override { target_().Message(text, icon); }
    bool AskYesNo(std::string_view text) override { return target_().AskYesNo(text); }
    bool AskOkCancel(std::string_view text) override { return target_().AskOkCancel(text); }
    Answer AskYesNoCancel(std::string_view text) override { return target_().AskYesNoCancel(text); }
    void Status(std::string_view text) override { target_().Status(text); }
    bool AskCredentials(const CredentialsQuestion& q, std::string& name, std::string& password) override {
        return target_().AskCredentials(q, name, password);
    }
    CZtKeyObject* ChosenKeyObject() override { return target_().ChosenKeyObject(); }

private:
    std::function<Prompter&()> target_;
};

std::string Path8(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Saving writes a new file beside the old one and renames it over the old:
// that needs the directory to be writable, and the file itself so that the
// user's protection of it is kept.
bool CanReplaceFile(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::access(file.constData(), W_OK) == 0 && ::access(dir.constData(), W_OK | X_OK) == 0;
}

// The open document's revisions for the history dialog.
class CZTDocumentRevisions : public CZTRevisionSource {
public:
    explicit CZTDocumentRevisions(CZTHistory& history) : history_(history) {}
    std::vector<CZTRevisionKey> List() override {
        std::vector<CZTRevisionKey> keys;
        history_.ListRevisions(keys);
        return keys;
    }
    bool Body(const CZTRevisionKey& key, std::string& body) override {
        return history_.GetRevisionBody(key.time, key.visible, body);
    }
    bool Change(const CZTRevisionKey& key, int action) override { return history_.ChangeRevision(key, action); }

private:
    CZTHistory& history_;
};

} // namespace

// ---- construction

CMainFrame::CMainFrame(CZTSettings& settings, QWidget* parent) : QMainWindow(parent), settings_(settings) {
    setObjectName(QStringLiteral("ZettrixClass"));
    setWindowIcon(AppIcon());
    ownPrompter_ = std::make_unique<CZTQtPrompter>(this);
    ownPrompter_->statusSink = [this](const QString& text) {
        if (text.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(text);
    };
    prompter_ = ownPrompter_.get();
    forward_ = std::make_unique<CZTForwardingPrompter>([this]() -> Prompter& { return *prompter_; });
    doc_ = std::make_unique<CZTDocument>(*forward_);
    visits_ = std::make_unique<CZTVisitHistory>();

    CreateActions();
    CreateViews();
    CreateReminders();
    CreateMenus();
    CreateBars();
    CreateStatusBar();
    exchange_ = new CZTExchangeUi(*this);
    encryption_ = std::make_unique<CZTEncryptionUi>(*this);
    server_ = std::make_unique<CZTServerSession>(*this);
    print_ = new CZTPrintUi(*this);
    dragDrop_ = new CZTTreeDragDrop(*this);
    text_->AttachFontBar(fontBar_->findChild<QComboBox*>(QStringLiteral("fontNameBox")),
                         fontBar_->findChild<QComboBox*>(QStringLiteral("fontSizeBox")));
    text_->AttachStatusPanes(panes_[0], panes_[3]);
    resize(763, 400);

    autoSaveTimer_ = new QTimer(this);
    autoSaveTimer_->setInterval(300000);
    connect(autoSaveTimer_, &QTimer::timeout, this, &CMainFrame::AutoSave);
    // Commands follow the state of the document and the focus, as the menus
    // and bars of the framework do when the program is idle.
    idleTimer_ = new QTimer(this);
    idleTimer_->setInterval(400);
    connect(idleTimer_, &QTimer::timeout, this, [this] {
        UpdateCommandUI();
        UpdateStatus();
    });
    idleTimer_->start();
    connect(qApp, &QApplication::focusChanged, this, [this] { UpdateCommandUI(); });

    NewDocument();
}

CMainFrame::~CMainFrame() {
    // Nothing updates the commands any more; the views let go of the
    // document before it goes.
    disconnect(qApp, nullptr, this, nullptr);
    idleTimer_->stop();
    delete search_;
    delete find_;
    server_.reset();
    tree_ = nullptr;
    delete vsplit_;
    vsplit_ = nullptr;
    doc_.reset();
    forward_.reset();
}

void CMainFrame::SetPrompter(Prompter* prompter) { prompter_ = prompter ? prompter : ownPrompter_.get(); }
Prompter& CMainFrame::CurrentPrompter() { return *prompter_; }

void CMainFrame::CreateActions() {
    for (const CommandInfo& c : AllCommands()) {
        auto* a = new QAction(QString::fromUtf8(c.menuText), this);
        QString prompt = QString::fromUtf8(c.prompt);
        const qsizetype nl = prompt.indexOf(QLatin1Char('\n'));
        QString tip = nl >= 0 ? prompt.mid(nl + 1) : QString::fromUtf8(c.menuText).remove(QLatin1Char('&'));
        tip.replace(QStringLiteral("&&"), QStringLiteral("&"));
        a->setStatusTip(nl >= 0 ? prompt.left(nl) : prompt);
        a->setToolTip(tip);
        a->setData(c.id);
        a->setIcon(CommandIcon(c.id));
        a->setIconVisibleInMenu(true);
        if (*c.key) a->setShortcut(QKeySequence(QString::fromLatin1(c.key)));
        const int id = c.id;
        connect(a, &QAction::triggered, this, [this, id] { Execute(id); });
        actions_[c.id] = a;
        addAction(a); // keys work even for commands without a menu entry
    }
    auto extraKeys = [this](int id, std::initializer_list<const char*> keys) {
        QList<QKeySequence> list{actions_[id]->shortcut()};
        for (const char* k : keys) list << QKeySequence(QString::fromLatin1(k));
        actions_[id]->setShortcuts(list);
    };
    extraKeys(ID_EDIT_COPY, {"Ctrl+Ins"});
    extraKeys(ID_EDIT_PASTE, {"Shift+Ins"});
    extraKeys(ID_EDIT_CUT, {"Shift+Del"});
    extraKeys(ID_EDIT_UNDO, {"Alt+Backspace"});
    actions_[ID_NEXT_PANE]->setShortcuts({QKeySequence(Qt::Key_F6)});
    auto* prevPane = new QAction(this);
    prevPane->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
    connect(prevPane, &QAction::triggered, this, [this] { NextPane(true); });
    addAction(prevPane);
    for (int id : {ID_VIEW_TREE, ID_VIEW_FILES, ID_TREE_EXPAND_ALL, ID_WRAP_PRINTER, ID_WRAP_WINDOW, ID_WRAP_NONE,
                   ID_CHAR_BOLD, ID_CHAR_ITALIC, ID_CHAR_UNDERLINE, ID_PARA_LEFT, ID_PARA_CENTER, ID_PARA_RIGHT,
                   ID_BULLET, ID_CHAR_STRIKEOUT, ID_CHAR_SUPERSCRIPT, ID_CHAR_SUBSCRIPT, ID_TEXT_COLOUR,
                   ID_TEXT_BACKGROUND})
        actions_[id]->setCheckable(true);
    // The menu bar's own texts for the keys.
    for (auto& [id, a] : actions_) a->setShortcutVisibleInContextMenu(true);
}

QAction* CMainFrame::Action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    auto add = [this](QMenu* m, int id) { m->addAction(actions_[id]); };

    fileMenu_ = bar->addMenu(QStringLiteral("&Datei"));
    for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_CONNECT, ID_RELOAD, ID_ENCRYPTION, ID_FILE_SAVE, ID_FILE_SAVE_AS,
                   ID_NEW_INSTANCE, ID_HISTORY, ID_REMOVE_HISTORY})
        add(fileMenu_, id);
    fileMenu_->addSeparator();
    QMenu* imp = fileMenu_->addMenu(QStringLiteral("&Importieren"));
    add(imp, ID_IMPORT_DIRECTORY);
    add(imp, ID_IMPORT_ZIP);
    QMenu* exp = fileMenu_->addMenu(QStringLiteral("E&xportieren"));
    add(exp, ID_EXPORT_TEXT);
    add(exp, ID_EXPORT_DIRECTORY);
    add(exp, ID_EXPORT_SPECIAL_DIRECTORY);
    add(exp, ID_EXPORT_HTML);
    fileMenu_->addSeparator();
    add(fileMenu_, ID_FILE_PRINT);
    add(fileMenu_, ID_FILE_PRINT_PREVIEW);
    add(fileMenu_, ID_FILE_PRINT_PDF);
    add(fileMenu_, ID_FILE_PRINT_SETUP);
    fileMenu_->addSeparator();
    add(fileMenu_, ID_DOC_PROPERTIES);
    add(fileMenu_, ID_REMINDERS);
#ifdef ZT_HAVE_SCRIPT
    AddScriptConsoleCommand(*this, fileMenu_);
#endif
    fileMenu_->addSeparator();
    recentAnchor_ = fileMenu_->addSeparator();
    add(fileMenu_, ID_ARCHIVES);
    fileMenu_->addSeparator();
    add(fileMenu_, ID_APP_EXIT);
    connect(fileMenu_, &QMenu::aboutToShow, this, &CMainFrame::RebuildRecentFiles);

    QMenu* tree = bar->addMenu(QStringLiteral("Bau&m"));
    add(tree, ID_TREE_NEW_MEMO);
    QMenu* del = tree->addMenu(QStringLiteral("Seite l&öschen"));
    add(del, ID_TREE_DELETE_PAGE);
    add(del, ID_TREE_DELETE_SUBTREE);
    tree->addSeparator();
    add(tree, ID_TREE_SORT);
    tree->addSeparator();
    for (int id : {ID_TREE_LEFT, ID_TREE_RIGHT, ID_TREE_UP, ID_TREE_DOWN, ID_TREE_MULTIPLE}) add(tree, id);
    tree->addSeparator();
    add(tree, ID_PAGE_PROPERTIES);
    tree->addSeparator();
    add(tree, ID_TREE_EXPAND_ALL);
    add(tree, ID_VIEW_TREE);

    QMenu* edit = bar->addMenu(QStringLiteral("&Bearbeiten"));
    add(edit, ID_EDIT_UNDO);
    edit->addSeparator();
    for (int id : {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_SELECT_ALL}) add(edit, id);
    edit->addSeparator();
    for (int id : {ID_EDIT_FIND, ID_EDIT_REPEAT, ID_EDIT_REPLACE, ID_SEARCH_REPLACE}) add(edit, id);
    edit->addSeparator();
    add(edit, ID_INSERT_DATETIME);
    QMenu* wrap = edit->addMenu(QStringLiteral("&Zeilenumbruch"));
    for (int id : {ID_WRAP_PRINTER, ID_WRAP_WINDOW, ID_WRAP_NONE}) add(wrap, id);
    add(edit, ID_PAGE_BACKGROUND);
    add(edit, ID_FOLLOW_LINK);

    QMenu* files = bar->addMenu(QStringLiteral("Dateie&n"));
    add(files, ID_FILES_NEW);
    add(files, ID_FILES_SELECT_ALL);
    files->addSeparator();
    add(files, ID_FILES_IMPORT);
    add(files, ID_FILES_EXPORT);
    QMenu* into = files->addMenu(QStringLiteral("In den &Text einfügen"));
    add(into, ID_FILES_INSERT_TEXT);
    files->addSeparator();
    add(files, ID_FILES_OPEN);
    files->addSeparator();
    add(files, ID_FILES_RENAME);
    add(files, ID_FILES_DELETE);
    files->addSeparator();
    add(files, ID_FILES_PROPERTIES);
    files->addSeparator();
    add(files, ID_VIEW_FILES);

    QMenu* settings = bar->addMenu(QStringLiteral("&Einstellungen"));
    add(settings, ID_OPTIONS);

    QMenu* help = bar->addMenu(QStringLiteral("&?"));
    add(help, ID_HELP);
    add(help, ID_APP_ABOUT);

    for (QMenu* m : bar->findChildren<QMenu*>()) connect(m, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::RebuildRecentFiles() {
    for (QAction* a : recentActions_) {
        fileMenu_->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    QAction* before = recentAnchor_;
    if (settings_.recentFiles.isEmpty()) {
        // The framework shows a disabled entry while the list is empty.
        auto* a = new QAction(QString::fromUtf8(FindCommand(ID_FILE_MRU_FILE1)->menuText), fileMenu_);
        a->setEnabled(false);
        fileMenu_->insertAction(before, a);
        recentActions_.push_back(a);
        return;
    }
    QFontMetrics fm(fileMenu_->font());
    int i = 0;
    for (const QString& path : settings_.recentFiles) {
        ++i;
        QString shown = FitText(path, fm, 420);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(i).arg(shown), fileMenu_);
        a->setStatusTip(QString::fromUtf8(FindCommand(ID_FILE_MRU_FILE1)->prompt));
        a->setData(ID_FILE_MRU_FILE1 + i - 1);
        connect(a, &QAction::triggered, this, [this, path] {
            if (!SaveModified()) return;
            OpenDocument(path, true);
        });
        fileMenu_->insertAction(before, a);
        recentActions_.push_back(a);
    }
}

QToolBar* CMainFrame::MakeBar(const char* name, const QString& title, std::initializer_list<int> ids) {
    auto* bar = new QToolBar(title, this);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setIconSize(QSize(16, 16));
    for (int id : ids) {
        if (id == 0)
            bar->addSeparator();
        else
            bar->addAction(actions_[id]);
    }
    return bar;
}

void CMainFrame::CreateBars() {
    toolBar_ = MakeBar("toolBar", QStringLiteral("Werkzeugleiste - Zettrix"),
                       {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0,
                        ID_FILE_PRINT, 0, ID_SEARCH_REPLACE, 0, ID_INSERT_DATETIME, 0, ID_HELP});
    treeBar_ = MakeBar("treeBar", QStringLiteral("Baumleiste - Zettrix"),
                       {ID_TREE_NEW_MEMO, ID_TREE_SORT, 0, ID_TREE_LEFT, ID_TREE_RIGHT, ID_TREE_UP, ID_TREE_DOWN});
    navBar_ = MakeBar("navigationBar", QStringLiteral("Navigationsleiste - Zettrix"),
                      {ID_NAV_BACK, ID_NAV_FORWARD, 0, ID_NAV_PARENT, ID_NAV_CHILD, 0, ID_NAV_PREV_PAGE,
                       ID_NAV_NEXT_PAGE});
    editBar_ = MakeBar("editBar", QStringLiteral("Bearbeitungsleiste - Zettrix"),
                       {ID_CHAR_BOLD, ID_CHAR_ITALIC, ID_CHAR_UNDERLINE, 0, ID_PARA_LEFT, ID_PARA_CENTER,
                        ID_PARA_RIGHT, 0, ID_INDENT_LESS, ID_INDENT_MORE, 0, ID_BULLET});

    fontBar_ = new QToolBar(QStringLiteral("Fontleiste - Zettrix"), this);
    fontBar_->setObjectName(QStringLiteral("fontBar"));
    fontBar_->setIconSize(QSize(16, 16));
    fontBar_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    auto* faces = new QComboBox(fontBar_);
    faces->setObjectName(QStringLiteral("fontNameBox"));
    QStringList families = QFontDatabase::families();
    families.sort(Qt::CaseInsensitive);
    if (!families.contains(settings_.prefs.defaultFont)) families.prepend(settings_.prefs.defaultFont);
    faces->addItems(families);
    faces->setMaxVisibleItems(16);
    faces->setCurrentText(settings_.prefs.defaultFont);
    faces->setMinimumContentsLength(24);
    faces->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* sizes = new QComboBox(fontBar_);
    sizes->setObjectName(QStringLiteral("fontSizeBox"));
    for (int s : {5, 6, 7, 8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 32, 36, 48, 72})
        sizes->addItem(QString::number(s));
    sizes->setMaxVisibleItems(14);
    sizes->setCurrentText(QString::number(settings_.prefs.defaultFontSize / 20));
    // The boxes work on the text view's selection; without an editable text
    // view they stay disabled.
    faces->setEnabled(false);
    sizes->setEnabled(false);
    fontBar_->addWidget(faces);
    fontBar_->addWidget(sizes);
    fontBar_->addAction(actions_[ID_FONT_TAKE_DEFAULT]);
    fontBar_->addAction(actions_[ID_FONT_USE_DEFAULT]);

    pageBar_ = new QToolBar(QStringLiteral("Seitenleiste - Zettrix"), this);
    pageBar_->setObjectName(QStringLiteral("pageBar"));
    pageBar_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    // "Seite" and "Datei" open the list with the pages or with the attached
    // files, as the keys Alt+S and Alt+A (commands 32922 and 32923) do. The
    // buttons carry no mnemonic of their own, so the keys stay unambiguous.
    auto listButton = [this](const QString& text, int id, const char* name) {
        auto* b = new QToolButton(pageBar_);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setAutoRaise(true);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setFocusPolicy(Qt::NoFocus);
        b->setToolTip(actions_[id]->statusTip() + QStringLiteral(" (") +
                      actions_[id]->shortcut().toString(QKeySequence::NativeText) + QStringLiteral(")"));
        connect(b, &QToolButton::clicked, this, [this, id] { Execute(id); });
        return b;
    };
    pageList_ = new CZTPageBarList(*doc_, pageBar_);
    pageBar_->addWidget(listButton(QStringLiteral("Seite"), ID_SELECT_PAGE, "pageListButton"));
    pageBar_->addWidget(pageList_);
    pageBar_->addWidget(listButton(QStringLiteral("Datei"), ID_SELECT_FILE, "fileListButton"));
    connect(pageList_, &CZTPageBarList::chosen, this, &CMainFrame::PageChosen);

    tipsBarHost_ = new QToolBar(QStringLiteral("Tippsleiste - Zettrix"), this);
    tipsBarHost_->setObjectName(QStringLiteral("tipsBar"));
    tipsBarHost_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    tips_ = new CZTTipsBar(settings_.prefs.talkBarN, tipsBarHost_);
    tipsBarHost_->addWidget(tips_);

    for (QToolBar* b : {toolBar_, treeBar_, fontBar_, pageBar_, editBar_, navBar_})
        b->setAllowedAreas(b == fontBar_ || b == pageBar_ ? Qt::TopToolBarArea | Qt::BottomToolBarArea
                                                           : Qt::AllToolBarAreas);
    // First start: tips bar, tool bar with tree and font bar, page bar with
    // edit bar at the top; the navigation bar at the bottom.
    addToolBar(Qt::TopToolBarArea, tipsBarHost_);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, toolBar_);
    addToolBar(Qt::TopToolBarArea, treeBar_);
    addToolBar(Qt::TopToolBarArea, fontBar_);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, pageBar_);
    addToolBar(Qt::TopToolBarArea, editBar_);
    addToolBar(Qt::BottomToolBarArea, navBar_);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* sb = statusBar();
    auto pane = [&](const QString& sample, const QString& name, const QString& tip) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(sample) + 10);
        l->setFrameShape(QFrame::StyledPanel);
        l->setToolTip(tip);
        sb->addPermanentWidget(l);
        panes_.push_back(l);
        return l;
    };
    pane(QStringLiteral("(000,000)"), QStringLiteral("caretPane"), QStringLiteral("Zeile und Spalte der Schreibmarke"));
    pane(QStringLiteral("UF"), QStringLiteral("capsPane"), QStringLiteral("Umschalt-Feststelltaste"));
    pane(QStringLiteral("NUM"), QStringLiteral("numPane"), QStringLiteral("Num-Taste"));
    pane(QStringLiteral("ÜB"), QStringLiteral("overwritePane"),
         QStringLiteral("ÜB: Überschreiben, sonst Einfügen (umschalten mit Einfg)"));
    pane(QStringLiteral("ÄND"), QStringLiteral("modifiedPane"),
         QStringLiteral("ÄND: das Dokument hat ungesicherte Änderungen"));
    pane(QStringLiteral("SRB"), QStringLiteral("readOnlyPane"),
         QStringLiteral("SRB: Lesen und Schreiben, LES: nur Lesen"));
    pane(QStringLiteral("Verbunden"), QStringLiteral("serverPane"),
         QStringLiteral("Verbindung zum Dokumentserver"));
    sb->showMessage(QStringLiteral("Bereit"));
}

QLabel* CMainFrame::StatusPane(int index) const {
    return index >= 0 && size_t(index) < panes_.size() ? panes_[size_t(index)] : nullptr;
}

void CMainFrame::CreateViews() {
    tree_ = new CLeftView(*doc_, *forward_);
    text_ = new CZettrixView(*doc_, settings_.prefs);
    text_->documentEditable = [this] { return IsEditable(); };
    text_->runCommand = [this](int id) { Execute(id); };
    text_->commandEnabled = [this](int id) { return IsCommandEnabled(id); };
    files_ = new CZTListView(*doc_, *forward_);
    files_->isEditable = [this] { return IsEditable(); };
    files_->SetInsertTarget(text_);
    treeFrame_ = new CZTViewFrame(QStringLiteral("Baumansicht"), tree_);
    textFrame_ = new CZTViewFrame(QStringLiteral("Textansicht"), text_);
    filesFrame_ = new CZTViewFrame(QStringLiteral("Dateienansicht"), files_);
    vsplit_ = new QSplitter(Qt::Horizontal, this);
    vsplit_->setObjectName(QStringLiteral("mainSplitter"));
    hsplit_ = new QSplitter(Qt::Vertical, vsplit_);
    hsplit_->setObjectName(QStringLiteral("rightSplitter"));
    vsplit_->addWidget(treeFrame_);
    vsplit_->addWidget(hsplit_);
    hsplit_->addWidget(textFrame_);
    hsplit_->addWidget(filesFrame_);
    vsplit_->setStretchFactor(1, 1);
    hsplit_->setStretchFactor(0, 1);
    vsplit_->setSizes({150, 613});
    hsplit_->setSizes({170, 100});
    setCentralWidget(vsplit_);
    // The view commands' check marks follow the panes at once.
    connect(vsplit_, &QSplitter::splitterMoved, this, [this] { UpdateCommandUI(); });
    connect(hsplit_, &QSplitter::splitterMoved, this, [this] { UpdateCommandUI(); });

    tree_->runCommand = [this](int id) { Execute(id); };
    tree_->commandEnabled = [this](int id) { return IsCommandEnabled(id); };
    connect(tree_, &CLeftView::currentPageChanged, this, &CMainFrame::OnCurrentPage);
    connect(tree_, &CLeftView::treeChanged, this, [this] {
        UpdateCommandUI();
        UpdateStatus();
        if (CZTPageNode* p = tree_->CurrentPage()) pageList_->ShowPage(p);
    });
    connect(tree_, &CLeftView::textFocusRequested, this, [this] { text_->setFocus(); });
    connect(text_, &CZettrixView::linkActivated, this, &CMainFrame::FollowLink);
    connect(files_, &CZTListView::filesChanged, this, [this] {
        UpdateCommandUI();
        UpdateStatus();
        if (search_ && files_->Page()) search_->NotifyPageChange(files_->Page()->Ident(), CZTPageNotice::FileNameChanged);
    });
    connect(text_, &CZettrixView::pageSaved, this, [this](int ident) {
        if (search_) search_->NotifyPageChange(ident, CZTPageNotice::TextSaved);
    });
}

CZTSearchDialog* CMainFrame::SearchDialog() const { return search_; }
CZTFindDialog* CMainFrame::FindDialog() const { return find_; }

CZTSearchDialog* CMainFrame::OpenSearchDialog() {
    if (!search_) search_ = new CZTSearchDialog(*this);
    search_->show();
    search_->raise();
    search_->activateWindow();
    return search_;
}

CZTFindDialog* CMainFrame::OpenFindDialog(bool replace) {
    if (find_ && find_->IsReplace() != replace) {
        find_->close();
        delete find_;
    }
    if (!find_) find_ = new CZTFindDialog(*text_, CurrentPrompter(), replace, this);
    else find_->TakeSelection();
    find_->show();
    find_->raise();
    find_->activateWindow();
    return find_;
}

// ---- document state

QString CMainFrame::DocumentPath() const { return QFile::decodeName(doc_->Archive().FilePath().c_str()); }

QString CMainFrame::DocumentTitle() const {
    if (!titleOverride_.isEmpty()) return titleOverride_;
    const QString path = DocumentPath();
    if (path.isEmpty()) return QString::fromUtf8(MessageText(Msg::Untitled));
    return QFileInfo(path).completeBaseName();
}

void CMainFrame::SetDocumentTitle(const QString& title) {
    titleOverride_ = title;
    UpdateTitle();
}

bool CMainFrame::IsEditable() const { return !readOnly_; }

void CMainFrame::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    tree_->SetEditable(!readOnly);
    text_->RefreshEditable();
    if (search_) search_->RefreshEditable();
    UpdateCommandUI();
    UpdateStatus();
}

void CMainFrame::UpdateTitle() {
    QString title = DocumentTitle();
    if (readOnlyFile_) title += QStringLiteral(" [") + QString::fromUtf8(MessageText(Msg::ReadOnlyMark)) + QLatin1Char(']');
    title += QStringLiteral(" - Zettrix");
    setWindowTitle(title);
    if (tray_) tray_->setToolTip(title);
}

void CMainFrame::UpdateStatus() {
    if (panes_.size() < 7) return;
    panes_[4]->setText(doc_->IsModified() ? QStringLiteral("ÄND") : QString());
    panes_[5]->setText(IsEditable() ? QStringLiteral("SRB") : QStringLiteral("LES"));
    panes_[6]->setText(server_ ? server_->StatusText() : QStringLiteral("Getrennt   "));
}

void CMainFrame::OnDocumentReplaced() {
    files_->DocumentClosing();
    visits_->Clear();
    pageList_->Reset();
    tree_->SetEditable(IsEditable());
    tree_->SetToggleOnClick(settings_.prefs.treeItemToggleOnClick != 0);
    CZTPageNode* first = doc_->Tree().FirstRootPage();
    tree_->SelectPage(first);
    if (!first) OnCurrentPage(nullptr);
    UpdateTitle();
    UpdateCommandUI();
    UpdateStatus();
    emit documentChanged();
}

void CMainFrame::OnCurrentPage(CZTPageNode* page) {
    text_->ShowPage(page);
    files_->ShowPage(page);
    pageList_->ShowPage(page);
    if (page && !navigating_) visits_->Visit(page->Ident());
    UpdateCommandUI();
}

void CMainFrame::AddToArchives(const QString& path) {
    // Opening a document lists it whether or not "Autom. Hinzufügen" is set.
    settings_.archives.Add(QFileInfo(path).absoluteFilePath());
}

// ---- flows

void CMainFrame::RememberDocumentView() {
    const QString path = DocumentPath();
    if (path.isEmpty() || !titleOverride_.isEmpty()) return;
    CZTSettings::DocumentView view;
    view.expanded = tree_->ExpandedPaths();
    if (CZTPageNode* p = tree_->CurrentPage()) view.selected = QString::fromLatin1(zt::LinkPath(p));
    CZTSettings::SaveDocumentView(path, view);
}

void CMainFrame::RestoreDocumentView() {
    const CZTSettings::DocumentView view = CZTSettings::LoadDocumentView(DocumentPath());
    tree_->ExpandPaths(view.expanded);
    if (view.selected.isEmpty()) return;
    const QByteArray bytes = view.selected.toLatin1();
    if (CZTPageNode* p = zt::ResolvePath(doc_->Tree(), nullptr, std::string_view(bytes.constData(), size_t(bytes.size()))))
        tree_->SelectPage(p);
}

void CMainFrame::NewDocument() {
    if (server_) server_->Disconnect();
    RememberDocumentView();
    reminders_->DocumentCleared();
    tree_->BeginReload();
    doc_->New();
    tree_->EndReload();
    titleOverride_.clear();
    readOnly_ = false;
    readOnlyFile_ = false;
    CZTPageNode* page = doc_->InsertPage(nullptr, CZTPageTree::Placement::AsChild, CZTPageTree::NewEntryTitle());
    doc_->Archive().SetModified(false);
    OnDocumentReplaced();
    if (page) {
        tree_->SelectPage(page);
        if (isVisible()) tree_->EditCurrentTitle();
    }
}

bool CMainFrame::OpenDocument(const QString& path, bool askOthers) {
    const QString full = QFileInfo(path).absoluteFilePath();
    if (askOthers && SendOpenToRunningInstance(full, ownInstanceSocket)) return true;
    RememberDocumentView();
    CZTPageNode* current = tree_->CurrentPage();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    tree_->BeginReload();
    const bool ok = doc_->Open(Path8(full));
    // The key file or token of the credentials prompt is let go.
    ownPrompter_->ReleaseKeySource();
    tree_->EndReload();
    QApplication::restoreOverrideCursor();
    if (!ok) {
        if (settings_.archives.autoRemove) settings_.archives.Remove(full);
        settings_.RemoveRecentFile(full);
        // The reader's own words go to the log; the user saw the message.
        qWarning("zettrix: %s: %s", qPrintable(full), doc_->Archive().lastError.c_str());
        // The document that was open stays, at the page it showed.
        CZTPageNode* back = current ? doc_->Tree().FindPage(current->Ident()) : nullptr;
        tree_->SelectPage(back ? back : doc_->Tree().FirstRootPage());
        UpdateTitle();
        UpdateCommandUI();
        UpdateStatus();
        return false;
    }
    if (server_) server_->Disconnect();
    titleOverride_.clear();
    // A file the user may not replace opens for reading only: saving would
    // fail at the end, after the work was done.
    readOnlyFile_ = !(canReplaceFile ? canReplaceFile(full) : CanReplaceFile(full));
    readOnly_ = readOnlyFile_;
    AddToArchives(full);
    settings_.AddRecentFile(full);
    OnDocumentReplaced();
    RestoreDocumentView();
    reminders_->DocumentOpened();
    if (readOnlyFile_) {
        SetReadOnly(true);
        statusBar()->showMessage(QString::fromUtf8(FormatMessage(Msg::DocumentOpenedReadOnly, {full.toStdString()})));
    }
    return true;
}

bool CMainFrame::OpenRevision(const std::string& body, const QString& title) {
    reminders_->DocumentCleared();
    tree_->BeginReload();
    const bool ok = doc_->OpenRevisionBody(body, zt::Utf8ToCp1252(title.toStdString()));
    tree_->EndReload();
    if (!ok) {
        NewDocument();
        return false;
    }
    if (server_) server_->Disconnect();
    readOnly_ = false;
    readOnlyFile_ = false;
    titleOverride_ = title;
    OnDocumentReplaced();
    return true;
}

void CMainFrame::ShowServerDocument(const std::function<bool(CZTDocument&)>& build, const QString& title) {
    RememberDocumentView();
    reminders_->DocumentCleared();
    tree_->BeginReload();
    build(*doc_);
    tree_->EndReload();
    readOnly_ = false;
    readOnlyFile_ = false;
    titleOverride_ = title;
    OnDocumentReplaced();
    reminders_->DocumentOpened();
}

QString CMainFrame::ChooseFile(bool save, const QString& suggestion) {
    if (chooseFile) return chooseFile(save, suggestion);
    const QString filter = QStringLiteral("Zettrix Dateien (*.ztd);;Alle Dateien (*)");
    if (save)
        return QFileDialog::getSaveFileName(this, QStringLiteral("Speichern unter"), suggestion, filter);
    return QFileDialog::getOpenFileName(this, QStringLiteral("Öffnen"), suggestion, filter);
}

bool CMainFrame::SaveDocument() {
    if (server_->Active()) return server_->Save();
    const QString path = DocumentPath();
    if (path.isEmpty() || doc_->Archive().NeverSaved() || readOnlyFile_) return SaveDocumentAs();
    return SaveDocumentTo(path);
}

bool CMainFrame::SaveDocumentAs() {
    // A document in directory form is saved as an ordinary single file.
    if (doc_->Archive().Core().directoryForm &&
        !prompter_->AskOkCancel(MessageText(Msg::ConvertSpecialDirectory)))
        return false;
    QString suggestion = DocumentPath();
    if (suggestion.isEmpty()) suggestion = DocumentTitle().replace(QRegularExpression(QStringLiteral("[/:]")), QStringLiteral("-")) + QStringLiteral(".ztd");
    QString file = ChooseFile(true, suggestion);
    if (file.isEmpty()) return false;
    if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".ztd");
    return SaveDocumentTo(file);
}

bool CMainFrame::SaveDocumentTo(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    text_->SaveCurrentPage(); // the text goes into the page before the document is written
    statusBar()->showMessage(QStringLiteral("Speichern: %1").arg(full));
    reminders_->StoreReminders(); // the reminders go into their pages first
    const bool ok = doc_->Save(Path8(full));
    QApplication::restoreOverrideCursor();
    statusBar()->clearMessage();
    if (ok) {
        // A server document saved under a file name is that file from now on.
        server_->Detach();
        if (DocumentPath() == full) titleOverride_.clear();
        if (readOnlyFile_ && DocumentPath() == full) {
            // Saved under a name of its own: the document can change again.
            readOnlyFile_ = false;
            SetReadOnly(false);
        }
        settings_.AddRecentFile(full);
        UpdateTitle();
    }
    UpdateCommandUI();
    UpdateStatus();
    tree_->viewport()->update();
    return ok;
}

bool CMainFrame::SaveModified() {
    text_->SaveCurrentPage();
    if (!doc_->IsModified()) return true;
    Prompter::Answer a =
        prompter_->AskYesNoCancel(FormatMessage(Msg::SaveChangesQuestion, {DocumentTitle().toStdString()}));
    if (a == Prompter::Answer::Cancel) return false;
    if (a == Prompter::Answer::No) return true;
    return SaveDocument();
}

void CMainFrame::AutoSave() {
    text_->SaveCurrentPage();
    if (!doc_->IsModified() || !IsEditable() || readOnlyFile_) return;
    if (DocumentPath().isEmpty() || doc_->Archive().NeverSaved()) return; // no name to save under yet
    SaveDocumentTo(DocumentPath());
}

// ---- commands

bool CMainFrame::IsCommandEnabled(int id, bool* checked) const {
    if (checked) *checked = false;
    if (tree_->Handles(id)) return tree_->IsEnabled(id, checked);
    if (files_->Handles(id)) return files_->IsEnabled(id);
    if (text_->Handles(id)) return text_->IsEnabled(id, checked);
    if (exchange_ && exchange_->Handles(id)) return exchange_->IsEnabled(id);
    if (encryption_ && encryption_->Handles(id)) return encryption_->IsEnabled(id);
    if (server_ && server_->Handles(id)) return server_->IsEnabled(id);
    if (print_ && print_->Handles(id)) return print_->IsEnabled(id);
    CZTPageNode* cur = tree_->CurrentPage();
    switch (id) {
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
    case ID_NEW_INSTANCE:
    case ID_DOC_PROPERTIES:
    case ID_ARCHIVES:
    case ID_APP_EXIT:
    case ID_APP_ABOUT:
    case ID_OPTIONS:
    case ID_NEXT_PANE:
    case ID_SELECT_PAGE:
    case ID_SELECT_FILE:
    case ID_TRAY_SHOW:
    case ID_TRAY_EXIT:
        return true;
    case ID_TRAY_HIDE:
        return tray_ && !hiddenToTray_;
    case ID_TRAY_SAVE:
        return doc_->IsModified();
    case ID_HISTORY:
    case ID_REMOVE_HISTORY:
        return true;
    case ID_REMINDERS:
        return IsEditable();
    case ID_VIEW_TREE:
        if (checked) *checked = TreePaneShown();
        return true;
    case ID_VIEW_FILES:
        if (checked) *checked = FilesPaneShown();
        return true;
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_EDIT_PASTE:
        return tree_->TitleEditor() && tree_->IsEnabled(id);
    case ID_NAV_BACK:
        return visits_->CanGoBack();
    case ID_NAV_FORWARD:
        return visits_->CanGoForward();
    case ID_NAV_PARENT:
        return cur && cur->Parent();
    case ID_NAV_CHILD:
        return cur && cur->HasChildren();
    case ID_NAV_PREV_PAGE:
        return tree_->indexAbove(tree_->currentIndex()).isValid();
    case ID_NAV_NEXT_PAGE:
        return tree_->indexBelow(tree_->currentIndex()).isValid();
    case ID_SEARCH_REPLACE:
        return true;
    case ID_EDIT_FIND:
    case ID_EDIT_REPEAT:
        return text_->CurrentIdent() > 0;
    case ID_EDIT_REPLACE:
        return text_->CurrentIdent() > 0 && IsEditable();
    default:
        // Commands of the parts not built into this program yet.
        return false;
    }
}

void CMainFrame::UpdateCommandUI() {
    if (!tree_) return;
    for (auto& [id, a] : actions_) {
        bool checked = false;
        a->setEnabled(IsCommandEnabled(id, &checked));
        if (a->isCheckable()) a->setChecked(checked);
    }
    text_->UpdateFontBar();
}

void CMainFrame::Execute(int id) {
    if (!IsCommandEnabled(id)) return;
    if (!server_->PrepareCommand(id)) return;
    if (tree_->Handles(id)) {
        tree_->Execute(id);
        UpdateCommandUI();
        UpdateStatus();
        return;
    }
    if (files_->Handles(id)) {
        files_->Execute(id);
        UpdateCommandUI();
        UpdateStatus();
        return;
    }
    if (text_->Handles(id)) {
        text_->Execute(id);
        UpdateCommandUI();
        UpdateStatus();
        return;
    }
    if (exchange_ && exchange_->Handles(id)) {
        exchange_->Execute(id);
        UpdateCommandUI();
        UpdateStatus();
        return;
    }
    if (encryption_ && encryption_->Handles(id)) {
        encryption_->Execute(id);
        UpdateCommandUI();
        UpdateStatus();
        return;
    }
    if (server_->Handles(id)) {
        server_->Execute(id);
        UpdateCommandUI();
        UpdateStatus();
        return;
    }
    if (print_ && print_->Handles(id)) {
        print_->Execute(id);
        UpdateCommandUI();
        return;
    }
    switch (id) {
    case ID_FILE_NEW:
        if (SaveModified()) NewDocument();
        break;
    case ID_FILE_OPEN: {
        const QString file = ChooseFile(false, QFileInfo(DocumentPath()).absolutePath());
        if (!file.isEmpty() && SaveModified()) OpenDocument(file, true);
        break;
    }
    case ID_FILE_SAVE: SaveDocument(); break;
    case ID_FILE_SAVE_AS: SaveDocumentAs(); break;
    case ID_TRAY_SAVE: SaveDocument(); break;
    case ID_NEW_INSTANCE: StartInstance(QStringLiteral("/empty")); break;
    case ID_DOC_PROPERTIES: DocProperties(); break;
    case ID_ARCHIVES: Archives(); break;
    case ID_APP_EXIT:
    case ID_TRAY_EXIT: ExitApplication(); break;
    case ID_APP_ABOUT: ShowAboutBox(this); break;
    case ID_OPTIONS: ShowOptions(); break;
    case ID_HISTORY: ShowHistory(); break;
    case ID_REMINDERS: reminders_->EditReminders(); break;
    case ID_REMOVE_HISTORY: RemoveHistory(); break;
    case ID_VIEW_TREE: ToggleTreePane(); UpdateCommandUI(); break;
    case ID_VIEW_FILES: ToggleFilesPane(); UpdateCommandUI(); break;
    case ID_NEXT_PANE: NextPane(false); break;
    case ID_SELECT_PAGE:
        if (!pageBar_->isVisible()) pageBar_->show();
        pageList_->Open(false);
        break;
    case ID_SELECT_FILE:
        if (!pageBar_->isVisible()) pageBar_->show();
        pageList_->Open(true);
        break;
    case ID_TRAY_SHOW: ShowFromTray(); break;
    case ID_TRAY_HIDE: HideToTray(); break;
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_EDIT_PASTE: tree_->Execute(id); break;
    case ID_NAV_BACK:
    case ID_NAV_FORWARD:
    case ID_NAV_PARENT:
    case ID_NAV_CHILD:
    case ID_NAV_PREV_PAGE:
    case ID_NAV_NEXT_PAGE: Navigate(id); break;
    case ID_SEARCH_REPLACE: OpenSearchDialog(); break;
    case ID_EDIT_FIND: OpenFindDialog(false); break;
    case ID_EDIT_REPLACE: OpenFindDialog(true); break;
    case ID_EDIT_REPEAT:
        if (find_)
            find_->FindNext();
        else
            CZTFindDialog::Repeat(*text_, CurrentPrompter());
        break;
    default: break;
    }
    UpdateCommandUI();
    UpdateStatus();
}

void CMainFrame::Navigate(int id) {
    CZTPageNode* cur = tree_->CurrentPage();
    CZTPageTreeModel* model = tree_->PageModel();
    CZTPageNode* target = nullptr;
    bool fromHistory = false;
    auto exists = [this](int32_t ident) { return doc_->Tree().FindPage(ident) != nullptr; };
    switch (id) {
    case ID_NAV_BACK:
        target = doc_->Tree().FindPage(visits_->GoBack(exists));
        fromHistory = true;
        break;
    case ID_NAV_FORWARD:
        target = doc_->Tree().FindPage(visits_->GoForward(exists));
        fromHistory = true;
        break;
    case ID_NAV_PARENT: target = cur ? cur->Parent() : nullptr; break;
    case ID_NAV_CHILD: target = cur ? cur->FirstChild() : nullptr; break;
    case ID_NAV_PREV_PAGE: target = model->Node(tree_->indexAbove(tree_->currentIndex())); break;
    case ID_NAV_NEXT_PAGE: target = model->Node(tree_->indexBelow(tree_->currentIndex())); break;
    }
    if (!target) return;
    navigating_ = fromHistory;
    tree_->SelectPage(target);
    navigating_ = false;
}

void CMainFrame::FollowLink(const QString& text) {
#ifdef ZT_HAVE_SCRIPT
    if (RunScriptLink(*this, text)) return;
#endif
    zt::LinkContext ctx;
    ctx.tree = &doc_->Tree();
    ctx.current = tree_->CurrentPage();
    ctx.archive = &doc_->Archive();
    ctx.selectPage = [this](CZTPageNode* page) { SelectPageForced(page); };
    ctx.openFile = [this](CZTPageNode* page, const std::string& name) {
        SelectPageForced(page);
        files_->SelectFile(QString::fromStdString(zt::Cp1252ToUtf8(name)));
        files_->OpenFile(name, false);
    };
    ctx.openExternal = [this](const std::string& address) {
        const QUrl url = QUrl::fromUserInput(QString::fromStdString(address));
        if (!(openUrl ? openUrl(url) : QDesktopServices::openUrl(url)))
            forward_->Message(FormatMessage(Msg::AddressOpenFailed, {address}), zt::Prompter::Icon::Warning);
    };
    ctx.message = [this](const std::string& m) { forward_->Message(m, zt::Prompter::Icon::Warning); };
    zt::FollowLink(text.toStdString(), ctx);
}

void CMainFrame::CreateReminders() {
    reminders_ = std::make_unique<CZTReminderCenter>(*doc_, settings_, [this]() -> Prompter& { return *prompter_; },
                                                     this);
    reminders_->showPage = [this](int32_t ident) {
        if (hiddenToTray_ || !isVisible()) ShowFromTray();
        raise();
        activateWindow();
        if (CZTPageNode* page = doc_->Tree().FindPage(ident)) SelectPageForced(page);
    };
    reminders_->currentPage = [this]() -> int32_t {
        CZTPageNode* page = tree_->CurrentPage();
        return page ? page->Ident() : 0;
    };
    // Mail bodies: the plain text of the page, or of the page and its
    // subtree, with numbered titles when "caption" is on.
    reminders_->composeBody = [this](CZTPageNode* page, bool subtree) {
        text_->SaveCurrentPage();
        std::string out;
        std::vector<const CZTPageNode*> pages{page};
        if (subtree) {
            pages.clear();
            for (const auto& e : doc_->Tree().BuildPageList(page)) pages.push_back(doc_->Tree().FindPage(e.ident));
        }
        int n = 0;
        for (const CZTPageNode* p : pages) {
            if (!p) continue;
            if (settings_.prefs.caption || subtree) {
                out += (settings_.prefs.caption ? std::to_string(++n) + ". " : std::string()) +
                       zt::Cp1252ToUtf8(p->Title()) + "\n\n";
            }
            std::string text;
            if (zt::RtfToText(doc_->PageText(p), zt::RtfTextMode::Utf8, text)) out += text;
            out += "\n";
        }
        return out;
    };
}

void CMainFrame::SelectPageForced(CZTPageNode* page) {
    if (page == tree_->CurrentPage())
        text_->SwitchPage(page->Ident()); // stored and shown again
    else
        tree_->SelectPage(page);
}

void CMainFrame::PageChosen(int ident, const QString& file) {
    CZTPageNode* page = doc_->Tree().FindPage(ident);
    if (!page) return;
    if (page != tree_->CurrentPage()) tree_->SelectPage(page);
    if (!file.isEmpty()) {
        ToggleFilesPane(false);
        files_->SelectFile(file);
        files_->setFocus();
    } else {
        text_->setFocus();
    }
}

void CMainFrame::NextPane(bool backwards) {
    QWidget* panes[3] = {tree_, text_, files_};
    int at = -1;
    QWidget* f = QApplication::focusWidget();
    for (int i = 0; i < 3; ++i)
        if (f && (f == panes[i] || panes[i]->isAncestorOf(f))) at = i;
    for (int step = 1; step <= 3; ++step) {
        int i = ((at < 0 ? 0 : at) + (backwards ? -step : step) + 6) % 3;
        if (panes[i]->isVisible() && panes[i]->width() > 0 && panes[i]->height() > 0) {
            panes[i]->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

// The tree column counts as shown while it has any width; hiding keeps the
// width so that showing it again brings the same layout back.
bool CMainFrame::TreePaneShown() const {
    const QList<int> s = vsplit_->sizes();
    return s.size() == 2 && s[0] > 0;
}

bool CMainFrame::FilesPaneShown() const {
    const QList<int> v = vsplit_->sizes(), h = hsplit_->sizes();
    return v.size() == 2 && h.size() == 2 && v[1] > 0 && h[1] > 0;
}

void CMainFrame::ToggleTreePane() {
    QList<int> s = vsplit_->sizes();
    if (s.size() != 2) return;
    const int t = s[0], r = s[1], sum = t + r;
    if (t > 0) {
        hiddenTreeWidth_ = t;
        vsplit_->setSizes({0, sum});
        return;
    }
    int width = hiddenTreeWidth_;
    if (width <= 0 || width > sum - sum / 4) width = sum / 4;
    vsplit_->setSizes({width, sum - width});
}

void CMainFrame::ToggleFilesPane(bool hideToo) {
    QList<int> v = vsplit_->sizes();
    if (v.size() == 2 && v[1] == 0) {
        // The right column itself is hidden: give it its room back first.
        const int sum = v[0] + v[1];
        vsplit_->setSizes({sum / 4, sum - sum / 4});
    }
    QList<int> h = hsplit_->sizes();
    if (h.size() != 2) return;
    const int x = h[0], f = h[1], sum = x + f;
    if (f > 0) {
        if (hideToo) {
            hiddenFilesHeight_ = f;
            hsplit_->setSizes({sum, 0});
        }
        return;
    }
    int files = hiddenFilesHeight_;
    if (files <= 0 || files > sum / 2) files = sum - std::max(sum - sum / 4, 2 * sum / 4);
    hsplit_->setSizes({sum - files, files});
}

QString CMainFrame::Program() const {
    return programPath.isEmpty() ? QCoreApplication::applicationFilePath() : programPath;
}

void CMainFrame::StartInstance(const QString& option) {
    QProcess::startDetached(Program(), {option});
}

void CMainFrame::DocProperties() {
    CZTDocPropertiesDialog dlg(*doc_, IsEditable(), this);
    dlg.exec();
}

void CMainFrame::Archives() {
    CZTArchivesDialog dlg(settings_.archives, this);
    if (dlg.exec() == QDialog::Accepted && !dlg.chosen.isEmpty()) {
        if (SaveModified()) OpenDocument(dlg.chosen, true);
    }
}

void CMainFrame::ShowOptions() {
    CZTOptionsDialog::Capabilities caps;
    CZTOptionsDialog dlg(settings_.prefs, caps, [this](const CZTPreferences& before) { ApplyPreferences(before); },
                         this, reminders_->MailOptionsPage());
    dlg.exec();
}

void CMainFrame::ShowHistory() {
    CZTDocumentRevisions source(doc_->Archive().Core().history);
    CZTHistoryDialog dlg(&source, *prompter_, this);
    dlg.changed = [this] { doc_->SetModified(); };
    dlg.show = [this](const QString& label, const std::string& body) {
        // T: the window title up to the blank before its last "-".
        QString title = windowTitle();
        const qsizetype dash = title.lastIndexOf(QLatin1Char('-'));
        if (dash > 0) title = title.left(dash - 1);
        const std::string l = label.toStdString(), t = title.toStdString();
        std::string message = SealRevision(body, l, t);
        if (message.empty()) {
            prompter_->Message(MessageText(Msg::RevisionWriteFailed));
            return;
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
        HandOverResult r = SendRevision(QFile::encodeName(Program()).toStdString(), l, t, message);
        QApplication::restoreOverrideCursor();
        if (r == HandOverResult::Timeout)
            prompter_->Message(MessageText(Msg::TimeoutExceeded));
        else if (r != HandOverResult::Done)
            prompter_->Message(MessageText(Msg::RevisionWriteFailed));
    };
    dlg.exec();
}

void CMainFrame::RemoveHistory() {
    if (!prompter_->AskYesNo(MessageText(Msg::ConfirmRemoveHistory))) return;
    if (doc_->Archive().Core().history.RemoveHistory()) doc_->SetModified();
}

// ---- window state

QRect FirstStartGeometry(const QRect& available) {
    // About two thirds of the screen, in its middle; never smaller than the
    // classic 763 x 400 unless the screen is.
    const QSize size(std::max(763, available.width() * 2 / 3), std::max(400, available.height() * 2 / 3));
    return QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size.boundedTo(available.size()), available);
}

void CMainFrame::LoadWindowState() {
    const CZTPreferences& p = settings_.prefs;
    const bool firstStart = !(p.x1 != -1 && p.y1 != -1 && p.x2 > p.x1 && p.y2 > p.y1);
    if (!firstStart) {
        QRect r(p.x1, p.y1, p.x2 - p.x1, p.y2 - p.y1);
        // A rectangle from another screen layout must still show the window.
        bool onScreen = false;
        for (QScreen* s : QGuiApplication::screens())
            if (s->availableGeometry().intersects(r)) onScreen = true;
        if (onScreen || QGuiApplication::screens().isEmpty()) setGeometry(r);
        else resize(r.size());
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        setGeometry(FirstStartGeometry(screen->availableGeometry()));
    }
    if (!p.barState.isEmpty()) restoreState(p.barState);
    toolBar_->setVisible(p.tlb);
    statusBar()->setVisible(p.stb);
    fontBar_->setVisible(p.slb);
    navBar_->setVisible(p.lkb);
    editBar_->setVisible(p.edb);
    treeBar_->setVisible(p.trb);
    pageBar_->setVisible(p.plb);
    tipsBarHost_->setVisible(p.tb);
    const int width = std::max(vsplit_->width(), this->width());
    int m1 = p.m1, m2 = p.m2;
    if (firstStart) {
        // The default panes (150 of 763 pixels, 170 of 270) keep their share
        // of the larger first window.
        const int height = std::max(270, this->height() - 130);
        m1 = width * 150 / 763;
        m2 = height * 170 / 270;
    }
    vsplit_->setSizes({std::max(0, m1), std::max(1, width - m1)});
    const int height = std::max(hsplit_->height(), firstStart ? std::max(270, this->height() - 130) : 270);
    hsplit_->setSizes({std::max(0, m2), std::max(1, height - m2)});
    ApplyViewTitles();
    ApplyButtonText();
    tree_->SetToggleOnClick(p.treeItemToggleOnClick != 0);
    doc_->takeOverPageReminders = p.alarmImpPage != 0;
    if (p.autoSave)
        autoSaveTimer_->start();
    else
        autoSaveTimer_->stop();
    SetTrayIcon(p.trayIcon != 0);
}

void CMainFrame::SaveWindowState() {
    RememberDocumentView();
    CZTPreferences& p = settings_.prefs;
    const QRect r = normalGeometry().isValid() ? normalGeometry() : geometry();
    p.x1 = r.left();
    p.y1 = r.top();
    p.x2 = r.left() + r.width();
    p.y2 = r.top() + r.height();
    p.flags = isMaximized() ? 2 : 0;
    p.showCmd = 9;
    const QList<int> v = vsplit_->sizes(), h = hsplit_->sizes();
    if (v.size() == 2) p.m1 = v[0];
    if (h.size() == 2) p.m2 = h[0];
    p.tlb = toolBar_->isVisibleTo(this);
    p.stb = statusBar()->isVisibleTo(this);
    p.slb = fontBar_->isVisibleTo(this);
    p.lkb = navBar_->isVisibleTo(this);
    p.edb = editBar_->isVisibleTo(this);
    p.trb = treeBar_->isVisibleTo(this);
    p.plb = pageBar_->isVisibleTo(this);
    p.tb = tipsBarHost_->isVisibleTo(this);
    p.talkBarN = tips_->NextTip();
    p.barState = saveState();
    text_->WriteBack(p);
    if (p.mode == 2) p.file = DocumentPath();
    settings_.SaveWindowState();
}

void CMainFrame::ApplyViewTitles() {
    const bool on = settings_.prefs.viewTitle != 0;
    treeFrame_->SetTitleVisible(on);
    textFrame_->SetTitleVisible(on);
    filesFrame_->SetTitleVisible(on);
}

void CMainFrame::ApplyButtonText() {
    const Qt::ToolButtonStyle style =
        settings_.prefs.buttonText ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly;
    for (QToolBar* b : {toolBar_, navBar_, editBar_, treeBar_, fontBar_}) {
        b->setToolButtonStyle(style);
        for (QAction* a : b->actions()) {
            const CommandInfo* c = FindCommand(a->data().toInt());
            if (c && *c->caption) a->setIconText(QString::fromUtf8(c->caption));
        }
    }
}

void CMainFrame::ApplyPreferences(const CZTPreferences& before) {
    CZTPreferences& p = settings_.prefs;
    doc_->takeOverPageReminders = p.alarmImpPage != 0;
    toolBar_->setVisible(p.tlb);
    treeBar_->setVisible(p.trb);
    editBar_->setVisible(p.edb);
    pageBar_->setVisible(p.plb);
    fontBar_->setVisible(p.slb);
    navBar_->setVisible(p.lkb);
    statusBar()->setVisible(p.stb);
    tipsBarHost_->setVisible(p.tb);
    ApplyViewTitles();
    text_->SetRulerVisible(p.rulerBar != 0);
    text_->SetRulerUnit(p.rulerUnit);
    text_->SetMargins(p.marginLeft, p.marginTop, p.marginRight, p.marginBot);
    text_->SetAutoWordSelection(p.autoWord != 0);
    text_->SetAutoLink(p.autoLink != 0);
    if (p.trayIcon != before.trayIcon) SetTrayIcon(p.trayIcon != 0);
    if (p.mode != before.mode) {
        settings_.SaveMode();
        if (p.mode == 1) {
            p.file = DocumentPath();
            settings_.SaveFile();
        }
    }
    if (p.autoSave)
        autoSaveTimer_->start();
    else
        autoSaveTimer_->stop();
    UpdateCommandUI();
}

// ---- tray, closing

void CMainFrame::SetTrayIcon(bool on) {
    if (on && !tray_ && QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(AppIcon(), this);
        trayMenu_ = new QMenu(this);
        for (int id : std::initializer_list<int>{ID_TRAY_SHOW, ID_TRAY_HIDE, ID_TRAY_SAVE, 0, ID_TRAY_EXIT}) {
            if (id == 0)
                trayMenu_->addSeparator();
            else
                trayMenu_->addAction(actions_[id]);
        }
        connect(trayMenu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
        tray_->setContextMenu(trayMenu_);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) ShowFromTray();
        });
        tray_->show();
        UpdateTitle();
    } else if (!on && tray_) {
        if (hiddenToTray_) ShowFromTray(); // the window must not vanish with its icon
        delete tray_;
        tray_ = nullptr;
        delete trayMenu_;
        trayMenu_ = nullptr;
    }
}

void CMainFrame::ShowFromTray() {
    hiddenToTray_ = false;
    if (isMinimized()) showNormal();
    else show();
    raise();
    activateWindow();
}

void CMainFrame::HideToTray() {
    if (!tray_) return; // without a tray icon the window could not come back
    hiddenToTray_ = true;
    hide();
}

void CMainFrame::ExitApplication() {
    exitRequested_ = true;
    if (!close()) exitRequested_ = false;
}

bool CMainFrame::HandleInstanceRequest(const QByteArray& request) {
    if (request.isEmpty()) return false;
    bool take = request == QByteArray(1, '\x01');
    if (!take) {
        const QString asked = QFileInfo(QFile::decodeName(request)).canonicalFilePath();
        const QString mine = DocumentPath().isEmpty() ? QString() : QFileInfo(DocumentPath()).canonicalFilePath();
        take = !asked.isEmpty() && asked == mine;
    }
    if (take) ShowFromTray();
    return take;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
#ifdef ZT_HAVE_SCRIPT
    // The document stays while a script works on it.
    if (auto* console = findChild<CZTScriptConsole*>(); console && console->IsRunning()) {
        event->ignore();
        return;
    }
#endif
    SaveWindowState();
    if (tray_ && !exitRequested_) {
        HideToTray();
        event->ignore();
        return;
    }
    exitRequested_ = false;
    if (!SaveModified() || !reminders_->ConfirmClose()) {
        event->ignore();
        return;
    }
    reminders_->DocumentCleared();
    server_->Disconnect();
    doc_->Archive().SetModified(false);
    autoSaveTimer_->stop();
    if (tray_) {
        delete tray_;
        tray_ = nullptr;
    }
    event->accept();
}

} // namespace zt::ui
