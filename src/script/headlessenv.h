// The environment of scripts without windows (ztd run, tests): the document,
// a current page whose text lives in an offscreen QTextDocument (loaded from
// the page's RTF and stored back when the page changes or the run ends), and
// a clipboard of its own.
#pragma once

#include "script/environment.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <memory>

namespace zt::script {

class CHeadlessEnvironment : public CScriptEnvironment {
public:
    explicit CHeadlessEnvironment(CZTDocument& doc);
    ~CHeadlessEnvironment() override;

    CZTDocument* Document() override { return &doc_; }
    CZTPageNode* CurrentPage() override;
    void ActivatePage(CZTPageNode* page) override;
    void StoreCurrentPage() override;
    CScriptTextView* TextView() override;
    bool IsModifiable() override { return modifiable; }
    bool IsReadOnly() override { return readOnly; }
    bool IsMainWindowVisible() override { return visible_; }
    void SetMainWindowVisible(bool visible) override { visible_ = visible; }
    bool LoadDocument(const std::string& path) override;
    bool NewDocument() override;
    void PageChanged(CZTPageNode* page) override;

    bool modifiable = true;
    bool readOnly = false;

private:
    class CView : public CScriptTextView {
    public:
        explicit CView(CHeadlessEnvironment& env) : env_(env) {}
        QTextDocument* Document() override;
        QTextCursor Cursor() override { return env_.cursor_; }
        void SetCursor(const QTextCursor& cursor) override { env_.cursor_ = cursor; }
        void Cut() override;
        void Copy() override;
        void Paste() override;

    private:
        CHeadlessEnvironment& env_;
    };
    void LoadText();

    CView view_{*this};

    CZTDocument& doc_;
    int32_t current_ = 0;
    std::unique_ptr<QTextDocument> text_;
    QTextCursor cursor_;
    bool textChanged_ = false;
    QTextDocumentFragment clipboard_;
    bool visible_ = false;
};

} // namespace zt::script
