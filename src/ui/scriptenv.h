// What scripts reach in the desktop program: the main window's document, the
// page selected in its tree and its text view, as the user's own commands
// reach them.
#pragma once

#include "script/environment.h"

#include <memory>

namespace zt::ui {

class CMainFrame;

class CZTWindowScriptEnvironment : public zt::script::CScriptEnvironment {
public:
    explicit CZTWindowScriptEnvironment(CMainFrame& frame);
    ~CZTWindowScriptEnvironment() override;

    CZTDocument* Document() override;
    CZTPageNode* CurrentPage() override;
    void ActivatePage(CZTPageNode* page) override;
    void StoreCurrentPage() override;
    zt::script::CScriptTextView* TextView() override;
    bool IsModifiable() override;
    bool IsReadOnly() override;
    bool IsMainWindowVisible() override;
    void SetMainWindowVisible(bool visible) override;
    bool LoadDocument(const std::string& path) override;
    bool NewDocument() override;
    void FilesChanged(CZTPageNode* page) override;

private:
    class CView;
    CMainFrame& frame_;
    std::unique_ptr<CView> view_;
};

} // namespace zt::ui
