// The Prompter of the desktop program: modal message boxes over the main
// window, status texts into the status bar.
#pragma once

#include <functional>
#include <memory>

#include "base/prompter.h"

class QWidget;
class QString;

namespace zt::ui {

class CZTKeySourceHolder;

class CZTQtPrompter : public Prompter {
public:
    explicit CZTQtPrompter(QWidget* parent = nullptr);
    ~CZTQtPrompter() override;
    void SetParent(QWidget* parent) { parent_ = parent; }
    // Receives status texts (the main window's message pane).
    std::function<void(const QString&)> statusSink;

    void Message(std::string_view text, Icon icon) override;
    bool AskYesNo(std::string_view text) override;
    bool AskOkCancel(std::string_view text) override;
    Answer AskYesNoCancel(std::string_view text) override;
    void Status(std::string_view text) override;
    bool AskCredentials(const CredentialsQuestion& question, std::string& name, std::string& password) override;
    // The certificate chosen in the last credentials prompt; its key file or
    // driver stays loaded until the next prompt or ReleaseKeySource.
    CZtKeyObject* ChosenKeyObject() override;
    void ReleaseKeySource();

private:
    QWidget* parent_;
    std::string lastName_; // the name typed in the last credentials prompt (UTF-8)
    std::unique_ptr<CZTKeySourceHolder> keys_;
    bool keyChosen_ = false;
};

} // namespace zt::ui
