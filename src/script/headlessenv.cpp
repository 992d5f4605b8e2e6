#include "script/headlessenv.h"

#include "core/document.h"
#include "text/qt/rtfdocument.h"

namespace zt::script {

bool CScriptEnvironment::LoadDocument(const std::string& path) {
    CZTDocument* doc = Document();
    return doc && doc->Open(path);
}

bool CScriptEnvironment::NewDocument() {
    CZTDocument* doc = Document();
    if (!doc) return false;
    doc->New();
    doc->InsertPage(nullptr, CZTPageTree::Placement::AsNeighbour, CZTPageTree::NewEntryTitle());
    doc->Archive().SetModified(false);
    return true;
}

CHeadlessEnvironment::CHeadlessEnvironment(CZTDocument& doc) : doc_(doc) {
    if (CZTPageNode* first = doc_.Tree().FirstRootPage()) current_ = first->Ident();
}

CHeadlessEnvironment::~CHeadlessEnvironment() = default;

CZTPageNode* CHeadlessEnvironment::CurrentPage() {
    CZTPageNode* node = current_ ? doc_.Tree().FindPage(current_) : nullptr;
    if (!node) {
        text_.reset();
        current_ = 0;
    }
    return node;
}

void CHeadlessEnvironment::ActivatePage(CZTPageNode* page) {
    if (page && page->Ident() == current_) return;
    StoreCurrentPage();
    text_.reset();
    current_ = page ? page->Ident() : 0;
}

void CHeadlessEnvironment::LoadText() {
    text_ = std::make_unique<QTextDocument>();
    text_->setUndoRedoEnabled(false);
    if (CZTPageNode* node = CurrentPage()) zt::textqt::LoadRtf(doc_.PageText(node), *text_);
    text_->setUndoRedoEnabled(true);
    text_->setModified(false);
    cursor_ = QTextCursor(text_.get());
    textChanged_ = false;
}

QTextDocument* CHeadlessEnvironment::CView::Document() {
    if (!env_.text_) env_.LoadText();
    return env_.text_.get();
}

CScriptTextView* CHeadlessEnvironment::TextView() {
    if (!CurrentPage()) return nullptr;
    if (!text_) LoadText();
    return &view_;
}

void CHeadlessEnvironment::PageChanged(CZTPageNode* page) {
    if (page && page->Ident() == current_ && text_) textChanged_ = true;
}

void CHeadlessEnvironment::StoreCurrentPage() {
    CZTPageNode* node = CurrentPage();
    if (!node || !text_ || !textChanged_) return;
    doc_.SetPageText(node, zt::textqt::WriteRtf(*text_));
    textChanged_ = false;
}

bool CHeadlessEnvironment::LoadDocument(const std::string& path) {
    StoreCurrentPage();
    text_.reset();
    bool ok = CScriptEnvironment::LoadDocument(path);
    CZTPageNode* first = doc_.Tree().FirstRootPage();
    current_ = first ? first->Ident() : 0;
    return ok;
}

bool CHeadlessEnvironment::NewDocument() {
    text_.reset();
    bool ok = CScriptEnvironment::NewDocument();
    CZTPageNode* first = doc_.Tree().FirstRootPage();
    current_ = first ? first->Ident() : 0;
    return ok;
}

void CHeadlessEnvironment::CView::Copy() {
    if (env_.cursor_.hasSelection()) env_.clipboard_ = env_.cursor_.selection();
}

void CHeadlessEnvironment::CView::Cut() {
    Copy();
    env_.cursor_.removeSelectedText();
}

void CHeadlessEnvironment::CView::Paste() {
    if (!env_.clipboard_.isEmpty()) env_.cursor_.insertFragment(env_.clipboard_);
}

} // namespace zt::script
