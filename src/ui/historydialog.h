// The history dialog: lists the revisions of the open document, shows one in
// a second instance, hides and shows revisions and forgets the reference to
// one.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/history.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace zt {
class Prompter;
}

namespace zt::ui {

// The document's revisions as the dialog needs them.
class CZTRevisionSource {
public:
    virtual ~CZTRevisionSource() = default;
    // Oldest first.
    virtual std::vector<CZTRevisionKey> List() = 0;
    virtual bool Body(const CZTRevisionKey& key, std::string& body) = 0;
    // 0 forget the reference, 1 hide, 2 show.
    virtual bool Change(const CZTRevisionKey& key, int action) = 0;
};

// "%Y-%m-%d %H:%M:%S" of the revision time in local time.
QString RevisionLabel(int32_t time);

class CZTHistoryDialog : public QDialog {
    Q_OBJECT
public:
    CZTHistoryDialog(CZTRevisionSource* source, Prompter& prompter, QWidget* parent = nullptr);

    // Called after a change of the history (the document becomes modified).
    std::function<void()> changed;
    // Shows a revision: its label and body.
    std::function<void(const QString& label, const std::string& body)> show;

    QListWidget* list;
    QPushButton* showButton;
    QPushButton* allButton;
    QPushButton* forgetButton;
    QPushButton* hideButton;
    bool AllMode() const { return allMode_; }

    void ToggleAll();
    void Forget();
    void ToggleHidden();
    void ShowSelected();

private:
    void Fill();
    void SelectionChanged();
    bool Selected(CZTRevisionKey& key, QString& label) const;
    bool CheckSource(const char* what);

    CZTRevisionSource* source_;
    Prompter& prompter_;
    bool allMode_ = false;
};

} // namespace zt::ui
