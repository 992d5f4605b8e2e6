// What scripts reach outside the engine: the open document and its current
// page, the text view of that page, the main window and the exports. The
// desktop program implements it over its main window (src/ui/scriptenv.*),
// ztd and the tests with CHeadlessEnvironment (a document, a current page and
// an offscreen text document of that page).
#pragma once

#include <string>

class CZTDocument;
class CZTPageNode;
class QTextDocument;
class QTextCursor;

namespace zt::script {

// The text control of the current page.
class CScriptTextView {
public:
    virtual ~CScriptTextView() = default;
    virtual QTextDocument* Document() = 0;
    virtual QTextCursor Cursor() = 0;
    virtual void SetCursor(const QTextCursor& cursor) = 0;
    // Clipboard of the text control (the system clipboard in the GUI).
    virtual void Cut() = 0;
    virtual void Copy() = 0;
    virtual void Paste() = 0;
    // Locks window updates while a method reads the whole text.
    virtual void SetUpdatesEnabled(bool on) {}
};

class CScriptEnvironment {
public:
    virtual ~CScriptEnvironment() = default;

    // The open document; null when there is none (the methods then report
    // "Cannot get document").
    virtual CZTDocument* Document() = 0;
    // The page selected in the tree, null when none.
    virtual CZTPageNode* CurrentPage() = 0;
    // Selects a page in the tree; the text view then shows it (the text of
    // the page left is stored first).
    virtual void ActivatePage(CZTPageNode* page) = 0;
    // Stores the text view's text into the current page when it changed.
    virtual void StoreCurrentPage() {}
    // The text view of the current page, null when there is none.
    virtual CScriptTextView* TextView() = 0;

    // Document states of the checks.
    virtual bool IsModifiable() = 0;
    virtual bool IsReadOnly() = 0;
    virtual bool IsRemote() { return false; }

    // The main window's visibility ("bVisible").
    virtual bool IsMainWindowVisible() { return false; }
    virtual void SetMainWindowVisible(bool visible) {}

    // Document flows as the application's commands run them.
    virtual bool LoadDocument(const std::string& path);
    virtual bool NewDocument();
    // The files list and the text view show the change of a page.
    virtual void FilesChanged(CZTPageNode* page) {}
    virtual void PageChanged(CZTPageNode* page) {}
};

} // namespace zt::script
