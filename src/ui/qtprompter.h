// The Prompter of the desktop program: modal message boxes over the main
// window, status texts into the status bar.
#pragma once

#include <functional>

#include "base/prompter.h"

class QWidget;
class QString;

namespace zt::ui {

class CZTQtPrompter : public Prompter {
public:
    explicit CZTQtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    // Receives status texts (the main window's message pane).
    std::function<void(const QString&)> statusSink;

    void Message(std::string_view text, Icon icon) override;
    bool AskYesNo(std::string_view text) override;
    bool AskOkCancel(std::string_view text) override;
    Answer AskYesNoCancel(std::string_view text) override;
    void Status(std::string_view text) override;
    bool AskCredentials(const CredentialsQuestion& question, std::string& name, std::string& password) override;

private:
    QWidget* parent_;
    std::string lastName_; // the name typed in the last credentials prompt (UTF-8)
};

} // namespace zt::ui
