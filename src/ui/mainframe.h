// The main window: the page tree, the text and the attached-files view in
// splitters, the menus, bars, status bar and tray icon, the document-level
// commands and the open, save and close flows.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>

class CZTDocument;
class QUrl;
class CZTVisitHistory;
class CZTPageNode;
class QLabel;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class QMenu;

namespace zt {
class Prompter;
}

namespace zt::ui {

class CLeftView;
class CZTPageBarList;
class CZTQtPrompter;
class CZTSettings;
class CZettrixView;
class CZTListView;
class CZTTipsBar;
class CZTViewFrame;
class CZTRevisionSource;
class CZTSearchDialog;
class CZTFindDialog;

// Where the main window opens at the first start on a screen whose free area
// is `available`.
QRect FirstStartGeometry(const QRect& available);
class CZTReminderCenter;
class CZTEncryptionUi;
class CZTServerSession;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CZTSettings& settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // ---- the document
    CZTDocument& Document() { return *doc_; }
    CLeftView* TreeView() const { return tree_; }
    // The title shown in the window title ("%s - Zettrix").
    QString DocumentTitle() const;
    // Set for a document shown under a name of its own (a revision).
    void SetDocumentTitle(const QString& title);
    QString DocumentPath() const;
    bool IsEditable() const;
    void SetReadOnly(bool readOnly);
    // Opens an address that is no page or file link (the desktop's handler;
    // tests replace it).
    std::function<bool(const QUrl&)> openUrl;

    // ---- flows
    // A new document with one "Neuer Eintrag" page, unmodified.
    void NewDocument();
    // Opens a document; after a failure the window holds a new, untitled,
    // unmodified document. `askOthers`: first offer it to a running instance.
    bool OpenDocument(const QString& path, bool askOthers = false);
    // Shows a revision body as an untitled document named `title`.
    bool OpenRevision(const std::string& body, const QString& title);
    bool SaveDocument();   // under its name; asks for one when it has none
    bool SaveDocumentAs(); // asks for a name
    bool SaveDocumentTo(const QString& path);
    // Asks to save a modified document: false when the user cancelled or the
    // save failed.
    bool SaveModified();

    // The auto-save timer's work: saves a modified document that has a name.
    void AutoSave();

    // ---- commands
    QAction* Action(int id) const;
    // Runs a command as the menu does (nothing when it is disabled).
    void Execute(int id);
    bool IsCommandEnabled(int id, bool* checked = nullptr) const;
    void UpdateCommandUI();

    // ---- state
    void LoadWindowState();
    void SaveWindowState();
    // Applies the preferences that the options sheet changed.
    void ApplyPreferences(const struct CZTPreferences& before);
    void SetTrayIcon(bool on);
    bool HasTrayIcon() const { return tray_ != nullptr; }
    // The exit command: close for real (no hiding to the tray).
    void ExitApplication();
    // A request of another instance ("\x01" or a path); true when taken.
    bool HandleInstanceRequest(const QByteArray& request);
    void ShowFromTray();
    void HideToTray();

    // ---- test and embedding hooks
    // Replaces the prompter (null: the window's own message boxes).
    void SetPrompter(Prompter* prompter);
    Prompter& CurrentPrompter();
    // Chooses a file name for open (false) or save (true); the default shows
    // the file dialog.
    std::function<QString(bool save, const QString& suggestion)> chooseFile;
    // Whether a document file may be replaced by saving (the file system's
    // answer unless set).
    std::function<bool(const QString& path)> canReplaceFile;
    // The program that further instances run (this program unless set).
    QString programPath;
    // Our own instance socket, skipped when asking other instances.
    QString ownInstanceSocket;

    QSplitter* MainSplitter() const { return vsplit_; }
    QSplitter* RightSplitter() const { return hsplit_; }
    CZTPageBarList* PageList() const { return pageList_; }
    CZTTipsBar* TipsBar() const { return tips_; }
    CZettrixView* TextView() const { return text_; }
    CZTListView* FilesView() const { return files_; }
    QLabel* StatusPane(int index) const;
    // The search dialog while it is open (at most one per window), and the
    // find or replace dialog of the current page.
    CZTSearchDialog* SearchDialog() const;
    CZTFindDialog* FindDialog() const;
    // Opens the search dialog, or brings it to the front.
    CZTSearchDialog* OpenSearchDialog();
    // Opens the page's find (false) or replace (true) dialog.
    CZTFindDialog* OpenFindDialog(bool replace);
    CZTSettings& Settings() { return settings_; }
    // The directory and zip commands.
    class CZTExchangeUi* Exchange() const { return exchange_; }
    CZTReminderCenter& Reminders() const { return *reminders_; }
    // The server session (command "&Verbinden...", server documents).
    CZTServerSession& Server() const { return *server_; }
    // Shows the document `build` fills (a copy of a server document) under
    // the name `title`.
    void ShowServerDocument(const std::function<bool(CZTDocument&)>& build, const QString& title);
    // The print commands.
    class CZTPrintUi* Printing() const { return print_; }
    // Drag and drop of pages, texts and files.
    class CZTTreeDragDrop* DragDrop() const { return dragDrop_; }

signals:
    void documentChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateBars();
    void CreateStatusBar();
    void CreateViews();
    void RebuildRecentFiles();
    QToolBar* MakeBar(const char* name, const QString& title, std::initializer_list<int> ids);
    void OnCurrentPage(CZTPageNode* page);
    void OnDocumentReplaced();
    void UpdateTitle();
    void UpdateStatus();
    void AddToArchives(const QString& path);
    void DocProperties();
    void Archives();
    void ShowOptions();
    void ShowHistory();
    void RemoveHistory();
    void ToggleTreePane();
    void ToggleFilesPane(bool hideToo = true);
    bool TreePaneShown() const;
    // The expanded and selected pages of the document, kept per file.
    void RememberDocumentView();
    void RestoreDocumentView();
    bool FilesPaneShown() const;
    void NextPane(bool backwards);
    void StartInstance(const QString& option);
    QString Program() const;
    void ApplyButtonText();
    void ApplyViewTitles();
    void Navigate(int id);
    void PageChosen(int ident, const QString& file);
    // Follows a link from the text: a page, an attached file or an address.
    void FollowLink(const QString& text);
    void SelectPageForced(CZTPageNode* page);
    void CreateReminders();
    QString ChooseFile(bool save, const QString& suggestion);

    CZTSettings& settings_;
    std::unique_ptr<CZTQtPrompter> ownPrompter_;
    Prompter* prompter_ = nullptr;
    std::unique_ptr<Prompter> forward_;
    std::unique_ptr<CZTDocument> doc_;
    std::unique_ptr<CZTVisitHistory> visits_;
    std::unique_ptr<CZTReminderCenter> reminders_;
    std::unique_ptr<CZTEncryptionUi> encryption_;
    std::unique_ptr<CZTServerSession> server_;
    QString titleOverride_;
    bool readOnly_ = false;
    bool readOnlyFile_ = false; // the document's file may not be replaced
    int hiddenTreeWidth_ = 0;   // the tree column's width before it was hidden
    int hiddenFilesHeight_ = 0; // the files row's height before it was hidden
    bool exitRequested_ = false;
    bool hiddenToTray_ = false;
    bool navigating_ = false;

    CLeftView* tree_ = nullptr;
    class CZTExchangeUi* exchange_ = nullptr;
    class CZTPrintUi* print_ = nullptr;
    class CZTTreeDragDrop* dragDrop_ = nullptr;
    CZettrixView* text_ = nullptr;
    CZTListView* files_ = nullptr;
    CZTViewFrame* treeFrame_ = nullptr;
    CZTViewFrame* textFrame_ = nullptr;
    CZTViewFrame* filesFrame_ = nullptr;
    QSplitter* vsplit_ = nullptr;
    QSplitter* hsplit_ = nullptr;
    std::map<int, QAction*> actions_;
    QMenu* fileMenu_ = nullptr;
    QAction* recentAnchor_ = nullptr;
    std::vector<QAction*> recentActions_;
    QToolBar* toolBar_ = nullptr;
    QToolBar* fontBar_ = nullptr;
    QToolBar* navBar_ = nullptr;
    QToolBar* editBar_ = nullptr;
    QToolBar* treeBar_ = nullptr;
    QToolBar* pageBar_ = nullptr;
    QToolBar* tipsBarHost_ = nullptr;
    CZTPageBarList* pageList_ = nullptr;
    CZTTipsBar* tips_ = nullptr;
    std::vector<QLabel*> panes_;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QTimer* autoSaveTimer_ = nullptr;
    QTimer* idleTimer_ = nullptr;
    QPointer<CZTSearchDialog> search_;
    QPointer<CZTFindDialog> find_;
};

} // namespace zt::ui
