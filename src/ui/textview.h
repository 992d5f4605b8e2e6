// The text view: the current page's rich text in a QTextEdit over a
// QTextDocument, loaded from and saved to the page record, with the editing
// commands, the ruler, the font bar, pictures and the composition of several
// pages into one text.
#pragma once

#include <QTextCharFormat>
#include <QPointer>
#include <QTextEdit>

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/pagetree.h"
#include "ui/textformat.h"
#include "ui/textinserttarget.h"

class CZTDocument;
class QComboBox;
class QDateTime;
class QLabel;
class QLocale;
class QMenu;

class CZTLinkMarker;

namespace zt::ui {

struct CZTPreferences;
class CZTRulerBar;

class CZettrixView : public QTextEdit, public ITextInsertTarget, private CZTPageTreeListener {
    Q_OBJECT
public:
    enum class LoadMode { Show, Insert };
    enum class TextFormat { Rtf, Plain };

    // Takes the editing state (default font, indent step, wrap mode, margins,
    // ruler unit, automatic word selection, ruler) from `prefs`; WriteBack
    // returns it there.
    CZettrixView(CZTDocument& doc, const CZTPreferences& prefs, QWidget* parent = nullptr);
    ~CZettrixView() override;

    // ---- hooks set by the main window
    // Whether the document may be changed (default: always).
    std::function<bool()> documentEditable;
    // Runs a command as the main menu does (default: Execute).
    std::function<void(int id)> runCommand;
    // Whether a command is enabled (default: IsEnabled).
    std::function<bool(int id)> commandEnabled;
    // Chooses the files of "Text importieren" and tells which of the filters
    // was picked (default: the file dialog); an empty list cancels.
    std::function<QStringList(const QString& filter, QString& chosenFilter)> chooseTextFiles;

    // ---- page text
    // The page shown (null: none), saving the page shown before.
    void ShowPage(const CZTPageNode* page);
    int32_t CurrentIdent() const { return ident_; }
    // Stores the view's text into the page record when it was modified
    // (ident <= 0: the forced save into the scratch record, always, without
    // the twin pass). False when nothing could be stored.
    bool SavePageText(int32_t ident);
    // SavePageText of the current page, when the document is editable.
    bool SaveCurrentPage();
    bool LoadPageText(int32_t ident, LoadMode mode, TextFormat format = TextFormat::Rtf);
    // Read-only without a page or for a read-only document; call after the
    // document's editability changed.
    void RefreshEditable();
    // Saves the old page and shows the current one.
    void SwitchPage(int32_t oldIdent);
    // The text of the last forced save.
    const std::string& ScratchText() const { return scratch_; }
    // Page background: the control's colour (invalid: the system colour).
    QColor PageBackground() const { return background_; }
    // Sets the colour on the control and, when asked, the page colours
    // property of the current page (and its siblings and their subtrees).
    void SetPageBackground(const QColor& colour, bool siblings, bool subtrees);
    // The dialog "Hintergrundfarbe setzen".
    void ChoosePageBackground();

    // ---- commands
    bool Handles(int id) const;
    bool IsEnabled(int id, bool* checked = nullptr) const;
    void Execute(int id);
    // The view is the main window's active view (it had the focus last).
    bool IsActive() const { return active_; }
    void SetActive(bool active);

    // ---- editing operations on the selection
    CZTEditDefaults& Defaults() { return defaults_; }
    void ApplyDefaultFormat();
    void InsertDateTime(const QDateTime& when, const QLocale& locale);
    static QString DateTimeText(const QDateTime& when, const QLocale& locale);
    void SetWordWrap(int mode);
    int WordWrap() const { return wrap_; }
    void SetMargins(int left, int top, int right, int bottom);
    // The printer page width in twips (A4 until the printer tells otherwise).
    void SetPrinterPageWidth(int twips);
    int TextWidthTwips() const;
    void SetRulerUnit(int unit);
    void SetRulerVisible(bool visible);
    CZTRulerBar* Ruler() const { return ruler_; }
    void SetAutoWordSelection(bool on) { autoWord_ = on; }
    // Automatic link marking (the setting AutoLink).
    void SetAutoLink(bool on);
    CZTLinkMarker* LinkMarker() const { return marker_; }
    bool InsertMode() const { return !overwriteMode(); }
    // Inserts a picture file at the caret; false (nothing changed) when it
    // cannot be read.
    bool InsertPictureFile(const QString& path, std::string* error = nullptr);
    // Inserts a text file at the caret, read through the text file opener
    // (RTF as RTF, Word files through the converter, MS-DOS text when that
    // format is chosen); a file that looks binary is inserted only when the
    // user agrees. False with `error` (German) when it cannot be read.
    bool InsertTextFile(const QString& path, int chosenFormat = 0, std::string* error = nullptr);
    // Text and pictures from the files list, at the caret.
    // They are stored with the page at once, which marks it changed.
    bool CanInsert() const override { return !isReadOnly(); }
    bool InsertText(const std::string& bytes, bool isRtf) override;
    bool InsertPicture(const QByteArray& bytes) override;
    // The tab dialog for the selection.
    void OpenTabDialog();
    // Writes the editing state back to the preferences (at exit).
    void WriteBack(CZTPreferences& prefs) const;

    // ---- composing pages
    struct Composition {
        std::string heading; // number, blank, title
        int endOffset = 0;   // character offset at which the page ends
    };
    // Mode 0 the whole document, 1 the anchor (or the current page) with its
    // subtree, 2 the anchor alone. Replaces the view's content.
    bool ComposePages(const CZTPageNode* anchor, int mode, bool withTitles);
    std::vector<Composition>& CompositionRecord() { return composition_; }
    static std::string NextNumber(const std::string& number, const std::string& code);

    // ---- the font bar and the status bar
    void AttachFontBar(QComboBox* faces, QComboBox* sizes);
    void UpdateFontBar();
    void ShowFaceInBox(const QString& face);
    void AttachStatusPanes(QLabel* caret, QLabel* overwrite);

    // The context menu "EditRclick" (the caller owns it).
    QMenu* CreateContextMenu(QWidget* parent);

    // ---- links (marked by the link marking)
    // The link text at the caret, empty when there is none.
    QString LinkTextAtCaret() const;

signals:
    void linkActivated(const QString& text);
    void pageSaved(int ident);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    // CZTPageTreeListener
    void PageAboutToBeRemoved(CZTPageNode* page) override;
    void TreeAboutToBeCleared() override;

    bool Editable() const;
    bool PageEditable() const;
    void ClearView();
    void ApplyLayout(QTextDocument& d) const;
    QTextDocument* FreshDocument() const;
    void TakeDocument(QTextDocument* d);
    void ApplyBackground();
    void ShowStatus(const std::string& text);
    void SelectionChanged();
    void UpdateRuler();
    void UpdateStatusPanes();
    void ChooseColour(bool background);
    void Paste();
    void ImportTextFiles();
    void ImportPictureFiles();
    bool InsertPictureBytes(const QByteArray& bytes, std::string* error);
    bool InsertTextAtCaret(const std::string& bytes, bool isRtf);
    bool InsertPageText(int32_t ident);
    QTextCursor Cursor() const { return textCursor(); }
    template <class F> void Edit(F&& f);

    // What the command states need of the selection, computed once per
    // selection and document revision (the commands are asked when idle).
    struct SelectionState {
        bool valid = false;
        const QTextDocument* document = nullptr;
        int revision = 0, anchor = 0, position = 0;
        QTextCharFormat format;
        bool bold = false, italic = false, underline = false, strikeOut = false;
        bool superscript = false, subscript = false, colour = false, background = false;
        std::optional<int> startIndent;
    };
    const SelectionState& State() const;
    mutable SelectionState state_;

    CZTDocument& doc_;
    CZTEditDefaults defaults_;
    int wrap_ = 2;
    int margins_[4] = {1440, 1440, 1440, 1440};
    int pageWidth_ = 11906;
    int rulerUnit_ = 1;
    bool autoWord_ = true;
    bool autoLink_ = true;
    // The page whose stored text the shown document was read from, and the
    // documents of pages shown before (see KeyOf).
    struct ShownPage {
        int32_t ident = 0;
        int32_t length = 0;
        uint32_t crc = 0;
        int32_t mtime = 0;
        QPointer<QTextDocument> doc;
    };
    static constexpr size_t kRecentPages = 2;
    ShownPage shown_;
    std::vector<ShownPage> recent_;
    ShownPage KeyOf(int32_t ident) const;
    void KeepRecent(const ShownPage& page);
    QTextDocument* TakeRecent(const ShownPage& key);
    // Drops the recent document of that page (0: of every page).
    void ForgetRecent(int32_t ident);
    CZTLinkMarker* marker_ = nullptr; // belongs to the shown document
    QPoint pressedAt_;
    bool rulerVisible_ = true;
    bool active_ = false;
    int32_t ident_ = 0;
    QColor background_;
    std::string scratch_;
    std::unordered_map<int32_t, std::pair<int, int>> selections_;
    std::vector<Composition> composition_;
    CZTRulerBar* ruler_ = nullptr;
    QComboBox* faces_ = nullptr;
    QComboBox* sizes_ = nullptr;
    QLabel* caretPane_ = nullptr;
    QLabel* overwritePane_ = nullptr;
};

} // namespace zt::ui
