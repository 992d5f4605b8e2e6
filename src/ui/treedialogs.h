// The dialogs of the page tree: sorting, the tree entry style, the multiple
// move / copy / delete dialog and the page property sheet.
#pragma once

#include <QDialog>

#include <cstdint>
#include <vector>

#include "core/treeentrystyle.h"

class CZTDocument;
class CZTPageNode;
class CZTPageTree;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QTreeWidget;

namespace zt {
class Prompter;
}

namespace zt::ui {

class CZTSortDialog : public QDialog {
    Q_OBJECT
public:
    explicit CZTSortDialog(QWidget* parent = nullptr);
    bool AllLevels() const;
    bool Descending() const;
    void SetChoice(bool allLevels, bool descending);

private:
    QRadioButton* oneLevel_;
    QRadioButton* allLevels_;
    QRadioButton* ascending_;
    QRadioButton* descending_;
};

class CZTTreeEntryDialog : public QDialog {
    Q_OBJECT
public:
    CZTTreeEntryDialog(const QString& title, const TreeEntryStyle& style, QWidget* parent = nullptr);

    QString Title() const;
    // The style as the controls give it (the flags rebuilt from them).
    TreeEntryStyle Style() const;
    // A colour was picked in a colour chooser.
    bool ColourChosen() const { return colourChosen_; }
    bool Siblings() const;
    bool Subtrees() const;

    // Sets a colour box as if the chooser had returned `colour` (invalid:
    // cancelled).
    void SetTextColour(const QColor& colour);
    void SetBackColour(const QColor& colour);

    QLineEdit* titleEdit;
    QComboBox* faceBox;
    QComboBox* sizeBox;
    QCheckBox* bold;
    QCheckBox* italic;
    QCheckBox* underline;
    QCheckBox* strikeOut;
    QCheckBox* textColourBox;
    QCheckBox* backColourBox;
    QCheckBox* siblings;
    QCheckBox* subtrees;

private:
    void PickColour(bool text);
    void ShowSwatches();
    void UpdatePreview();

    int32_t textColour_;
    int32_t backColour_;
    bool colourChosen_ = false;
    QLabel* textSwatch_;
    QLabel* backSwatch_;
    QLabel* preview_;
};

// One line of the multiple dialog's work list.
struct CZTWorkEntry {
    int32_t ident = 0;
    bool subtree = false;
    int depth = 0;
};

// Builds the work list from the listed pages in order. Without `keepAll` a
// listed page inside a listed subtree is covered and left out (a conflict);
// with it every page stays and nested ones only count deeper. `conflict`
// tells whether any page was covered.
std::vector<CZTWorkEntry> BuildWorkList(const CZTPageTree& tree, const std::vector<std::pair<int32_t, bool>>& listed,
                                        bool keepAll, bool* conflict);

class CZTMultipleDialog : public QDialog {
    Q_OBJECT
public:
    enum Operation { Move, Copy, Delete };

    CZTMultipleDialog(CZTDocument& doc, Prompter& prompter, CZTPageNode* current, QWidget* parent = nullptr);

    // Lists a page (with its subtree when `subtree`).
    void AddPage(int32_t ident, bool subtree);
    void SetOperation(Operation op);
    void SetTarget(int32_t ident, bool asChildren);
    // Runs the operation on the listed pages; false when nothing was done.
    bool Apply();

signals:
    void targetChosen(CZTPageNode* target);

private:
    void FillPages();
    void AddSelected();
    void RemoveSelected();
    void accept() override;

    CZTDocument& doc_;
    Prompter& prompter_;
    QTreeWidget* pages_;
    QListWidget* chosen_;
    QRadioButton* move_;
    QRadioButton* copy_;
    QRadioButton* delete_;
    QComboBox* target_;
    QRadioButton* asNeighbours_;
    QRadioButton* asChildren_;
    QCheckBox* files_;
};

class CZTPagePropertiesDialog : public QDialog {
    Q_OBJECT
public:
    CZTPagePropertiesDialog(CZTDocument& doc, CZTPageNode* page, QWidget* parent = nullptr);
};

// Sizes of a page's text and files: uncompressed and compressed bytes.
struct CZTSizes {
    int64_t files = 0;
    int64_t text = 0, textCompressed = 0;
    int64_t all = 0, allCompressed = 0;
    bool known = true;
};
CZTSizes PageSizes(CZTDocument& doc, int32_t ident);
// The sizes of the subtree of `start` added up (the whole document when
// `start` is null); `pages` receives the number of pages walked.
CZTSizes SubtreeSizes(CZTDocument& doc, const CZTPageNode* start, size_t& pages);

// "%c" of a time stamp in local time (a non-positive stamp shows as 1).
QString FormatStamp(int64_t stamp);
QString FormatBytes(int64_t bytes, int64_t compressed);

} // namespace zt::ui
