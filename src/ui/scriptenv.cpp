#include "ui/scriptenv.h"

#include "core/document.h"
#include "ui/leftview.h"
#include "ui/listview.h"
#include "ui/mainframe.h"
#include "ui/searchdialog.h"
#include "ui/textview.h"

#include <QTextCursor>

namespace zt::ui {

// The text view's control as the text objects see it; its clipboard is the
// system clipboard.
class CZTWindowScriptEnvironment::CView : public zt::script::CScriptTextView {
public:
    explicit CView(CMainFrame& frame) : frame_(frame) {}
    QTextDocument* Document() override { return frame_.TextView()->document(); }
    QTextCursor Cursor() override { return frame_.TextView()->textCursor(); }
    void SetCursor(const QTextCursor& cursor) override { frame_.TextView()->setTextCursor(cursor); }
    void Cut() override { frame_.TextView()->cut(); }
    void Copy() override { frame_.TextView()->copy(); }
    void Paste() override { frame_.TextView()->paste(); }
    void SetUpdatesEnabled(bool on) override { frame_.TextView()->setUpdatesEnabled(on); }

private:
    CMainFrame& frame_;
};

CZTWindowScriptEnvironment::CZTWindowScriptEnvironment(CMainFrame& frame)
    : frame_(frame), view_(std::make_unique<CView>(frame)) {}

CZTWindowScriptEnvironment::~CZTWindowScriptEnvironment() = default;

CZTDocument* CZTWindowScriptEnvironment::Document() { return &frame_.Document(); }

CZTPageNode* CZTWindowScriptEnvironment::CurrentPage() { return frame_.TreeView()->CurrentPage(); }

void CZTWindowScriptEnvironment::ActivatePage(CZTPageNode* page) { frame_.TreeView()->SelectPage(page); }

void CZTWindowScriptEnvironment::StoreCurrentPage() { frame_.TextView()->SaveCurrentPage(); }

zt::script::CScriptTextView* CZTWindowScriptEnvironment::TextView() {
    // The view shows the current page; without one there is no text.
    if (!CurrentPage() || frame_.TextView()->CurrentIdent() != CurrentPage()->Ident()) return nullptr;
    return view_.get();
}

bool CZTWindowScriptEnvironment::IsModifiable() { return frame_.IsEditable(); }

bool CZTWindowScriptEnvironment::IsReadOnly() { return CurrentPage() && frame_.TextView()->isReadOnly(); }

bool CZTWindowScriptEnvironment::IsMainWindowVisible() { return frame_.isVisible(); }

void CZTWindowScriptEnvironment::SetMainWindowVisible(bool visible) { frame_.setVisible(visible); }

bool CZTWindowScriptEnvironment::LoadDocument(const std::string& path) {
    return frame_.OpenDocument(QString::fromStdString(path));
}

bool CZTWindowScriptEnvironment::NewDocument() {
    frame_.NewDocument();
    return true;
}

void CZTWindowScriptEnvironment::FilesChanged(CZTPageNode* page) {
    if (!page) return;
    if (page == CurrentPage()) frame_.FilesView()->Refresh();
    // The search dialog's hits follow renamed, moved and removed files.
    if (CZTSearchDialog* search = frame_.SearchDialog()) search->NotifyPageChange(page->Ident(), CZTPageNotice::FileNameChanged);
}

} // namespace zt::ui
