#include "ui/textview.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPointer>
#include <QTextLayout>
#include <QScrollBar>
#include <QStatusBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <memory>

#include "base/cp1252.h"
#include "core/attachedfiles.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "core/document.h"
#include "exchange/textfiles.h"
#include "text/pagecolors.h"
#include "text/pagertf.h"
#include "text/qt/linkmarker.h"
#include "text/qt/rtfdocument.h"
#include "text/twinpass.h"
#include "ui/backgrounddialog.h"
#include "ui/commands.h"
#include "ui/rulerbar.h"
#include "ui/settings.h"
#include "ui/tabdialog.h"

namespace zt::ui {

namespace tq = zt::textqt;

namespace {

constexpr int kInsetLeft = 10;
constexpr int kInsetTop = 2;
// Files larger than this are not inserted as text or pictures.
constexpr qint64 kMaxInsertBytes = 64 * 1024 * 1024;

const char* const kRtfMime = "text/rtf";

// Page colours hold RGB with red in the low byte.
QColor FromRgbLow(uint32_t v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }
uint32_t ToRgbLow(const QColor& c) { return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16; }

bool ReadFileCapped(const QString& path, QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxInsertBytes) return false;
    bytes = f.readAll();
    return true;
}

} // namespace

CZettrixView::CZettrixView(CZTDocument& doc, const CZTPreferences& prefs, QWidget* parent)
    : QTextEdit(parent), doc_(doc) {
    setObjectName(QStringLiteral("textView"));
    setAcceptRichText(true);
    setTabChangesFocus(false);
    defaults_.face = prefs.defaultFont.left(31);
    defaults_.sizeTwips = prefs.defaultFontSize > 0 ? prefs.defaultFontSize : 240;
    defaults_.indentStep = prefs.indent > 0 ? prefs.indent : 720;
    wrap_ = prefs.wordWrap >= 0 && prefs.wordWrap <= 2 ? prefs.wordWrap : 2;
    margins_[0] = prefs.marginLeft;
    margins_[1] = prefs.marginTop;
    margins_[2] = prefs.marginRight;
    margins_[3] = prefs.marginBot;
    rulerUnit_ = prefs.rulerUnit == 0 ? 0 : 1;
    autoWord_ = prefs.autoWord != 0;
    autoLink_ = prefs.autoLink != 0;
    rulerVisible_ = prefs.rulerBar != 0;

    ruler_ = new CZTRulerBar(this);
    ruler_->SetUnit(rulerUnit_);
    connect(ruler_, &CZTRulerBar::indentsChanged, this, [this](int start, int offset, int right, std::vector<int> tabs) {
        if (!PageEditable()) return;
        QTextCursor c = textCursor();
        c.beginEditBlock();
        SetParagraphIndents(c, start, offset, right);
        SetTabStops(c, tabs);
        c.endEditBlock();
        UpdateRuler();
    });
    connect(ruler_, &CZTRulerBar::tabDialogRequested, this, &CZettrixView::OpenTabDialog);
    SetRulerVisible(rulerVisible_);

    connect(this, &QTextEdit::cursorPositionChanged, this, &CZettrixView::SelectionChanged);
    connect(this, &QTextEdit::selectionChanged, this, &CZettrixView::SelectionChanged);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || now->window() != window()) return;
        if (now == this || isAncestorOf(now)) {
            SetActive(true);
            return;
        }
        for (QWidget* w = now; w; w = w->parentWidget())
            if (qobject_cast<QToolBar*>(w) || qobject_cast<QStatusBar*>(w) || qobject_cast<QMenu*>(w)) return;
        SetActive(false);
    });
    doc_.Tree().AddListener(this);
    ClearView();
    SetWordWrap(wrap_);
    setReadOnly(true);
    setAcceptDrops(false);
}

CZettrixView::~CZettrixView() { doc_.Tree().RemoveListener(this); }

// ---- page text

bool CZettrixView::Editable() const { return documentEditable ? documentEditable() : true; }
// A page whose body could not be fetched (a server page) stays read-only.
bool CZettrixView::PageEditable() const {
    return ident_ > 0 && Editable() && !doc_.Archive().Core().Pending(ident_);
}

void CZettrixView::PageAboutToBeRemoved(CZTPageNode* page) {
    selections_.erase(page->Ident());
    ForgetRecent(page->Ident());
    if (page->Ident() == ident_) {
        // The page goes: its text goes with it.
        ident_ = 0;
        shown_ = {};
        ClearView();
        setReadOnly(true);
        setAcceptDrops(false);
    }
}

void CZettrixView::TreeAboutToBeCleared() {
    ident_ = 0;
    selections_.clear();
    shown_ = {};
    ForgetRecent(0);
    ClearView();
    setReadOnly(true);
    setAcceptDrops(false);
}

// The status bar through the document's prompter (the main window's shows
// it in its message pane).
void CZettrixView::ShowStatus(const std::string& text) { doc_.Prompter().Status(text); }

void CZettrixView::ShowPage(const CZTPageNode* page) {
    const int32_t old = ident_;
    ident_ = page ? page->Ident() : 0;
    SwitchPage(old);
}

bool CZettrixView::SaveCurrentPage() {
    if (ident_ <= 0 || !PageEditable()) return true;
    return SavePageText(ident_);
}

bool CZettrixView::SavePageText(int32_t ident) {
    if (ident > 0) {
        const QTextCursor c = textCursor();
        selections_[ident] = {c.anchor(), c.position()};
    }
    if (ident > 0 && !document()->isModified()) return true;
    CZTPageNode* node = ident > 0 ? doc_.Tree().FindPage(ident) : nullptr;
    if (ident > 0 && !node) return false;
    std::string rtf = tq::WriteRtf(*document());
    if (!rtf.empty() && rtf.back() == '\0') rtf.pop_back();
    if (rtf.empty()) {
        doc_.Prompter().Message(MessageText(Msg::PageSaveError));
        return false;
    }
    if (ident <= 0) {
        scratch_ = std::move(rtf);
        return true;
    }
    shown_ = {}; // what is shown now differs from what it was read from
    if (!doc_.SetPageText(node, zt::TwinPass(rtf))) {
        doc_.Prompter().Message(MessageText(Msg::PageSaveError));
        return false;
    }
    document()->setModified(false);
    emit pageSaved(ident);
    return true;
}

QTextDocument* CZettrixView::FreshDocument() const {
    auto* d = new QTextDocument(const_cast<CZettrixView*>(this));
    d->setUndoRedoEnabled(false);
    QFont font(defaults_.face);
    font.setPointSizeF(defaults_.sizeTwips / 20.0);
    d->setDefaultFont(font);
    // No layout yet: the text is read without one, and the view lays it out
    // lazily once it shows the document (TakeDocument).
    QTextCursor c(d);
    c.setBlockCharFormat(DefaultCharFormat(defaults_));
    // The marker is made while the document is empty and waits until the
    // text is in (TakeDocument), which marks it in one pass.
    auto* marker = new CZTLinkMarker(d, autoLink_, false);
    marker->Suspend();
    return d;
}

// A text is read into a document of its own and then shown: the control lays
// out only what it shows instead of following every insertion.
void CZettrixView::TakeDocument(QTextDocument* d) {
    // The control deletes a document of its own itself; ours go here, or
    // among the recent pages when they still show their stored text.
    QPointer<QTextDocument> old = document();
    const ShownPage leaving = shown_;
    shown_ = {};
    // Margins and link marks are set while the document has no layout, so
    // that neither lays out the whole text; setDocument then starts the
    // view's lazy layout, which lays out what is shown first.
    ApplyLayout(*d);
    marker_ = d->findChild<CZTLinkMarker*>();
    if (marker_ && marker_->IsSuspended()) marker_->Resume();
    if (marker_) marker_->SetEnabled(autoLink_);
    d->setUndoRedoEnabled(true);
    d->clearUndoRedoStacks();
    d->setModified(false);
    setDocument(d);
    if (old && old != d && old->parent() == this) {
        if (leaving.ident > 0 && leaving.doc == old && !old->isModified())
            KeepRecent(leaving);
        else
            delete old;
    }
    QTextCursor c(d);
    setTextCursor(c);
    setCurrentCharFormat(DefaultCharFormat(defaults_));
}

// A page shown before and left unchanged is shown again from its document
// as long as its stored text is the one it was read from: switching back
// and forth between pages reads and lays out nothing again.
CZettrixView::ShownPage CZettrixView::KeyOf(int32_t ident) const {
    ShownPage key;
    if (const CZTNode* n = doc_.Archive().Core().Node(ident)) {
        key.ident = ident;
        key.length = n->uncompressedLength;
        key.crc = n->crc;
        key.mtime = n->mtime;
    }
    return key;
}

void CZettrixView::KeepRecent(const ShownPage& page) {
    recent_.insert(recent_.begin(), page);
    while (recent_.size() > kRecentPages) {
        delete recent_.back().doc.data();
        recent_.pop_back();
    }
}

QTextDocument* CZettrixView::TakeRecent(const ShownPage& key) {
    for (auto it = recent_.begin(); it != recent_.end(); ++it) {
        if (it->ident != key.ident) continue;
        QTextDocument* d = it->doc.data();
        const bool same = it->length == key.length && it->crc == key.crc && it->mtime == key.mtime;
        recent_.erase(it);
        if (same && d) return d;
        delete d;
        return nullptr;
    }
    return nullptr;
}

void CZettrixView::ForgetRecent(int32_t ident) {
    for (auto it = recent_.begin(); it != recent_.end();) {
        if (ident == 0 || it->ident == ident) {
            delete it->doc.data();
            it = recent_.erase(it);
        } else {
            ++it;
        }
    }
}

void CZettrixView::ClearView() {
    TakeDocument(FreshDocument());
    background_ = QColor();
    ApplyBackground();
}

void CZettrixView::ApplyLayout(QTextDocument& d) const {
    // Unchanged margins are not set again: that would lay out a document
    // shown before once more.
    QTextFrameFormat ff = d.rootFrame()->frameFormat();
    if (d.documentMargin() == 0 && ff.leftMargin() == kInsetLeft && ff.topMargin() == kInsetTop &&
        ff.rightMargin() == 0 && ff.bottomMargin() == 0)
        return;
    d.setDocumentMargin(0);
    ff = d.rootFrame()->frameFormat();
    ff.setLeftMargin(kInsetLeft);
    ff.setTopMargin(kInsetTop);
    ff.setRightMargin(0);
    ff.setBottomMargin(0);
    d.rootFrame()->setFrameFormat(ff);
}

void CZettrixView::ApplyBackground() {
    QPalette pal = palette();
    pal.setColor(QPalette::Base, background_.isValid() ? background_ : QApplication::palette().color(QPalette::Base));
    setPalette(pal);
}

bool CZettrixView::InsertPageText(int32_t ident) {
    CZTPageRecord rec = doc_.Archive().GetPage(ident);
    const std::string* text = rec.GetText();
    if (!text || text->empty()) return true;
    QTextCursor c = textCursor();
    bool ok = true;
    if (zt::IsRtfText(*text))
        ok = tq::InsertRtf(*text, c);
    else
        tq::InsertPlainText(*text, c);
    setTextCursor(c);
    return ok;
}

bool CZettrixView::LoadPageText(int32_t ident, LoadMode mode, TextFormat format) {
    const bool wasModified = doc_.IsModified();
    const bool show = mode == LoadMode::Show;
    if (show) ClearView();
    // A page shown before with the same stored text needs no reading at all.
    const ShownPage key = KeyOf(ident);
    QTextDocument* recent = show && format == TextFormat::Rtf ? TakeRecent(key) : nullptr;
    CZTPageRecord rec;
    const std::string* stored = nullptr;
    if (recent) {
        TakeDocument(recent);
        shown_ = key;
        shown_.doc = recent;
    } else {
        rec = doc_.Archive().GetPage(ident);
        stored = rec.GetText();
    }
    std::optional<uint32_t> legacy;
    bool ok = true;
    if (stored && !stored->empty()) {
        std::string_view text(*stored);
        if (show) {
            if (auto trailer = zt::FindLegacyTrailer(text)) {
                text = text.substr(0, trailer->start);
                legacy = trailer->backgroundColor;
            }
        }
        const bool rtf = format == TextFormat::Rtf && zt::IsRtfText(text);
        if (show) {
            QTextDocument* d = FreshDocument();
            if (rtf) {
                ok = tq::LoadRtf(text, *d);
            } else {
                QTextCursor c(d);
                tq::InsertPlainText(text, c);
            }
            if (ok) {
                TakeDocument(d);
                if (rtf) {
                    shown_ = key;
                    shown_.doc = d;
                }
            } else {
                delete d;
                ClearView();
                doc_.Prompter().Message(MessageText(Msg::PageLoadError));
            }
        } else {
            QTextCursor c = textCursor();
            if (rtf)
                ok = tq::InsertRtf(text, c);
            else
                tq::InsertPlainText(text, c);
            setTextCursor(c);
        }
    }
    if (show) {
        if (ok) {
            auto it = selections_.find(ident);
            if (it != selections_.end()) {
                const int end = std::max(0, document()->characterCount() - 1);
                QTextCursor c(document());
                c.setPosition(std::clamp(it->second.first, 0, end));
                c.setPosition(std::clamp(it->second.second, 0, end), QTextCursor::KeepAnchor);
                setTextCursor(c);
            } else {
                moveCursor(QTextCursor::Start);
            }
        }
        std::string_view prop;
        zt::PageColors colours;
        if (doc_.Archive().Core().GetExtItem(ident, zt::PageColors::kExtKind, prop))
            colours = zt::PageColors::Decode(prop);
        if (colours.textBackground) {
            background_ = FromRgbLow(*colours.textBackground);
        } else if (legacy) {
            const uint32_t rgb = zt::LegacyColorToRgb(*legacy);
            background_ = FromRgbLow(rgb);
            colours.SetTextBackground(rgb);
            doc_.Archive().Core().SetExtItem(ident, zt::PageColors::kExtKind, colours.Encode());
        }
        ApplyBackground();
    }
    doc_.Archive().SetModified(wasModified);
    document()->setModified(false);
    return ok;
}

void CZettrixView::SwitchPage(int32_t oldIdent) {
    ShowStatus(MessageText(Msg::SavingPage));
    if (oldIdent > 0 && Editable() && !doc_.Archive().Core().Pending(oldIdent)) SavePageText(oldIdent);
    ClearView();
    ShowStatus(MessageText(Msg::LoadingPage));
    if (ident_ > 0) LoadPageText(ident_, LoadMode::Show);
    RefreshEditable();
    ShowStatus({});
    SelectionChanged();
}

void CZettrixView::RefreshEditable() {
    const bool writable = PageEditable();
    setReadOnly(!writable);
    setAcceptDrops(writable);
    ruler_->SetEditable(writable);
    UpdateFontBar();
}

void CZettrixView::SetPageBackground(const QColor& colour, bool siblings, bool subtrees) {
    CZTPageNode* page = doc_.Tree().FindPage(ident_);
    if (!page || !Editable()) return;
    const bool changed = colour != (background_.isValid() ? background_ : QApplication::palette().color(QPalette::Base));
    if (changed) {
        background_ = colour;
        ApplyBackground();
        document()->setModified(true);
    }
    if (!changed && !siblings && !subtrees) return;
    const uint32_t rgb = ToRgbLow(colour);
    ChangePageColours(doc_, page, siblings, subtrees, [rgb](zt::PageColors& c) { c.SetTextBackground(rgb); });
}

void CZettrixView::ChoosePageBackground() {
    if (!PageEditable()) return;
    CZTBackgroundDialog dlg(background_.isValid() ? background_ : QApplication::palette().color(QPalette::Base), this);
    if (dlg.exec() != QDialog::Accepted) return;
    SetPageBackground(dlg.Colour(), dlg.siblings->isChecked(), dlg.subtrees->isChecked());
}

// ---- layout

int CZettrixView::TextWidthTwips() const { return std::max(720, pageWidth_ - margins_[0] - margins_[2]); }

void CZettrixView::SetWordWrap(int mode) {
    wrap_ = mode >= 0 && mode <= 2 ? mode : 2;
    switch (wrap_) {
    case 0: setLineWrapMode(QTextEdit::NoWrap); break;
    case 1: setLineWrapMode(QTextEdit::WidgetWidth); break;
    default:
        setLineWrapMode(QTextEdit::FixedPixelWidth);
        setLineWrapColumnOrWidth(kInsetLeft + int(tq::TwipsToUnits(TextWidthTwips()) + 0.5));
        break;
    }
    ruler_->SetTextWidth(TextWidthTwips());
}

void CZettrixView::SetMargins(int left, int top, int right, int bottom) {
    margins_[0] = left;
    margins_[1] = top;
    margins_[2] = right;
    margins_[3] = bottom;
    SetWordWrap(wrap_);
}

void CZettrixView::SetPrinterPageWidth(int twips) {
    if (twips > 0) pageWidth_ = twips;
    SetWordWrap(wrap_);
}

void CZettrixView::SetRulerUnit(int unit) {
    rulerUnit_ = unit == 0 ? 0 : 1;
    ruler_->SetUnit(rulerUnit_);
}

void CZettrixView::SetRulerVisible(bool visible) {
    rulerVisible_ = visible;
    ruler_->setVisible(visible);
    setViewportMargins(0, visible ? CZTRulerBar::kHeight : 0, 0, 0);
    ruler_->setGeometry(frameWidth(), frameWidth(), width() - 2 * frameWidth(), CZTRulerBar::kHeight);
}

void CZettrixView::paintEvent(QPaintEvent* e) {
    QTextEdit::paintEvent(e);
    // Paragraphs with a bullet: the bullet stands left of the first line.
    QPainter p(viewport());
    const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QRectF visible = QRectF(viewport()->rect()).translated(scroll);
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    for (QTextBlock b = cursorForPosition(QPoint(0, 0)).block(); b.isValid(); b = b.next()) {
        if (!tq::HasBullet(b)) continue;
        const QRectF r = layout->blockBoundingRect(b);
        if (r.bottom() < visible.top()) continue;
        if (r.top() > visible.bottom()) break;
        const QTextLayout* tl = b.layout();
        if (!tl || tl->lineCount() == 0) continue;
        const QTextLine line = tl->lineAt(0);
        QTextCursor c(b);
        c.movePosition(QTextCursor::NextCharacter);
        QFont f = c.charFormat().font();
        p.setFont(f);
        p.setPen(c.charFormat().hasProperty(QTextFormat::ForegroundBrush) ? c.charFormat().foreground().color()
                                                                           : palette().color(QPalette::Text));
        const QString bullet = QString(QChar(0x2022));
        const qreal w = QFontMetricsF(f).horizontalAdvance(bullet);
        const QPointF at = r.topLeft() + QPointF(line.x() - w - 3, line.y() + line.ascent()) - scroll;
        p.drawText(at, bullet);
    }
}

void CZettrixView::resizeEvent(QResizeEvent* e) {
    QTextEdit::resizeEvent(e);
    ruler_->setGeometry(frameWidth(), frameWidth(), width() - 2 * frameWidth(), CZTRulerBar::kHeight);
}

void CZettrixView::WriteBack(CZTPreferences& prefs) const {
    prefs.defaultFont = defaults_.face;
    prefs.defaultFontSize = defaults_.sizeTwips;
    prefs.indent = defaults_.indentStep;
    prefs.wordWrap = wrap_;
    prefs.marginLeft = margins_[0];
    prefs.marginTop = margins_[1];
    prefs.marginRight = margins_[2];
    prefs.marginBot = margins_[3];
    prefs.rulerUnit = rulerUnit_;
}

// ---- selection followers

void CZettrixView::SelectionChanged() {
    UpdateRuler();
    UpdateStatusPanes();
}

void CZettrixView::UpdateRuler() {
    if (!ruler_->isVisible()) return;
    const QTextBlockFormat bf = textCursor().blockFormat();
    const tq::ParaIndents p = tq::GetIndents(bf);
    CZTRulerBar::State s;
    s.start = p.start;
    s.offset = p.offset;
    s.right = p.right;
    for (const QTextOption::Tab& t : bf.tabPositions()) s.tabs.push_back(tq::UnitsToTwips(t.position));
    ruler_->SetState(s);
    ruler_->SetOrigin(kInsetLeft - horizontalScrollBar()->value());
    ruler_->SetEditable(PageEditable());
}

void CZettrixView::UpdateStatusPanes() {
    if (caretPane_) {
        const QTextCursor c = textCursor();
        const QTextBlock b = c.block();
        caretPane_->setText(ident_ > 0 ? QStringLiteral("(%1,%2)").arg(b.blockNumber() + 1).arg(c.positionInBlock())
                                       : QString());
    }
    if (overwritePane_) overwritePane_->setText(overwriteMode() ? QStringLiteral("ÜB") : QString());
}

void CZettrixView::AttachStatusPanes(QLabel* caret, QLabel* overwrite) {
    caretPane_ = caret;
    overwritePane_ = overwrite;
    UpdateStatusPanes();
}

void CZettrixView::AttachFontBar(QComboBox* faces, QComboBox* sizes) {
    faces_ = faces;
    sizes_ = sizes;
    if (faces_) {
        connect(faces_, &QComboBox::activated, this, [this](int index) {
            const QString face = faces_->itemText(index);
            const int charset = QFontDatabase::writingSystems(face).contains(QFontDatabase::Symbol) ? 2 : 0;
            if (PageEditable()) {
                QTextCursor c = textCursor();
                SetFontFace(c, face, charset);
                setTextCursor(c);
            }
            setFocus();
        });
    }
    if (sizes_) {
        connect(sizes_, &QComboBox::activated, this, [this](int index) {
            const int points = sizes_->itemText(index).toInt();
            if (PageEditable() && points > 0) {
                QTextCursor c = textCursor();
                SetFontSize(c, points);
                setTextCursor(c);
            }
            setFocus();
        });
    }
    UpdateFontBar();
}

void CZettrixView::UpdateFontBar() {
    const bool on = PageEditable() && active_;
    for (QComboBox* box : {faces_, sizes_})
        if (box) box->setEnabled(on);
    if (ident_ <= 0) return;
    const SelectionFont sf = GetSelectionFont(textCursor());
    if (faces_ && !faces_->view()->isVisible()) ShowFaceInBox(sf.face);
    if (sizes_ && !sizes_->view()->isVisible()) {
        const int i = sf.points > 0 ? sizes_->findText(QString::number(sf.points)) : -1;
        if (i >= 0 || !sizes_->isEditable())
            sizes_->setCurrentIndex(i);
        if (sizes_->isEditable()) sizes_->setEditText(sf.points > 0 ? QString::number(sf.points) : QString());
    }
}

// A face that is not installed is still named in the box, as word processors
// do: one extra first entry holds it while it is the selection's face (the
// text draws with the fallback font meanwhile).
void CZettrixView::ShowFaceInBox(const QString& face) {
    constexpr int kMissingRole = Qt::UserRole + 1;
    const bool hasMissing = faces_->count() > 0 && faces_->itemData(0, kMissingRole).toBool();
    int i = face.isEmpty() ? -1 : faces_->findText(face);
    if (hasMissing && i == 0) {
        faces_->setCurrentIndex(0);
        return;
    }
    const QSignalBlocker block(faces_);
    if (hasMissing) {
        faces_->removeItem(0);
        if (i > 0) --i;
    }
    if (i < 0 && !face.isEmpty()) {
        faces_->insertItem(0, face);
        faces_->setItemData(0, true, kMissingRole);
        faces_->setItemData(0, QStringLiteral("Diese Schrift ist nicht installiert; angezeigt wird eine Ersatzschrift."),
                            Qt::ToolTipRole);
        QFont italic = faces_->font();
        italic.setItalic(true);
        faces_->setItemData(0, italic, Qt::FontRole);
        i = 0;
    }
    faces_->setCurrentIndex(i);
}

void CZettrixView::SetActive(bool active) {
    if (active_ == active) return;
    active_ = active;
    UpdateFontBar();
}

void CZettrixView::focusInEvent(QFocusEvent* e) {
    QTextEdit::focusInEvent(e);
    SetActive(true);
}

// ---- commands

bool CZettrixView::Handles(int id) const {
    switch (id) {
    case ID_CHAR_BOLD:
    case ID_CHAR_ITALIC:
    case ID_CHAR_UNDERLINE:
    case ID_CHAR_STRIKEOUT:
    case ID_CHAR_SUPERSCRIPT:
    case ID_CHAR_SUBSCRIPT:
    case ID_PARA_LEFT:
    case ID_PARA_CENTER:
    case ID_PARA_RIGHT:
    case ID_BULLET:
    case ID_INDENT_MORE:
    case ID_INDENT_LESS:
    case ID_TEXT_COLOUR:
    case ID_TEXT_COLOUR_OFF:
    case ID_TEXT_BACKGROUND:
    case ID_TEXT_BACKGROUND_OFF:
    case ID_UPPER_CASE:
    case ID_LOWER_CASE:
    case ID_INSERT_DATETIME:
    case ID_FONT_TAKE_DEFAULT:
    case ID_FONT_USE_DEFAULT:
    case ID_WRAP_PRINTER:
    case ID_WRAP_WINDOW:
    case ID_WRAP_NONE:
    case ID_IMPORT_TEXT:
    case ID_IMPORT_PICTURES:
    case ID_FOLLOW_LINK:
    case ID_PAGE_BACKGROUND:
        return true;
    case ID_EDIT_UNDO:
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_EDIT_PASTE:
    case ID_EDIT_SELECT_ALL:
        return active_;
    default:
        return false;
    }
}

const CZettrixView::SelectionState& CZettrixView::State() const {
    const QTextCursor c = textCursor();
    const int revision = document()->revision();
    SelectionState& st = state_;
    if (st.valid && st.document == document() && st.revision == revision && st.anchor == c.anchor() &&
        st.position == c.position() && st.format == c.charFormat())
        return st;
    st.valid = true;
    st.document = document();
    st.revision = revision;
    st.anchor = c.anchor();
    st.position = c.position();
    st.format = c.charFormat();
    st.bold = HasEffectUniformly(c, CharEffect::Bold);
    st.italic = HasEffectUniformly(c, CharEffect::Italic);
    st.underline = HasEffectUniformly(c, CharEffect::Underline);
    st.strikeOut = HasEffectUniformly(c, CharEffect::StrikeOut);
    st.superscript = IsSuperscript(c);
    st.subscript = IsSubscript(c);
    st.colour = HasExplicitColour(c);
    st.background = HasExplicitBackground(c);
    st.startIndent = UniformStartIndent(c);
    return st;
}

bool CZettrixView::IsEnabled(int id, bool* checked) const {
    if (checked) *checked = false;
    switch (id) {
    case ID_WRAP_PRINTER:
    case ID_WRAP_WINDOW:
    case ID_WRAP_NONE:
        if (checked) *checked = wrap_ == (id == ID_WRAP_PRINTER ? 2 : id == ID_WRAP_WINDOW ? 1 : 0);
        return true;
    default: break;
    }
    if (ident_ <= 0 || !active_) return false;
    const QTextCursor c = textCursor();
    const bool edit = Editable();
    switch (id) {
    case ID_EDIT_COPY: return c.hasSelection();
    case ID_EDIT_SELECT_ALL: return true;
    case ID_FOLLOW_LINK: return tq::IsFollowable(LinkTextAtCaret());
    case ID_FONT_TAKE_DEFAULT: return true;
    default: break;
    }
    if (!edit) return false;
    if (id == ID_PAGE_BACKGROUND) return PageEditable();
    const SelectionState& st = State();
    switch (id) {
    case ID_CHAR_BOLD:
        if (checked) *checked = st.bold;
        return true;
    case ID_CHAR_ITALIC:
        if (checked) *checked = st.italic;
        return true;
    case ID_CHAR_UNDERLINE:
        if (checked) *checked = st.underline;
        return true;
    case ID_CHAR_STRIKEOUT:
        if (checked) *checked = st.strikeOut;
        return true;
    case ID_CHAR_SUPERSCRIPT:
        if (checked) *checked = st.superscript;
        return true;
    case ID_CHAR_SUBSCRIPT:
        if (checked) *checked = st.subscript;
        return true;
    case ID_PARA_LEFT:
    case ID_PARA_CENTER:
    case ID_PARA_RIGHT: {
        const Qt::Alignment a = c.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        if (checked)
            *checked = id == ID_PARA_CENTER ? a == Qt::AlignHCenter
                       : id == ID_PARA_RIGHT ? a == Qt::AlignRight
                                              : (a != Qt::AlignHCenter && a != Qt::AlignRight);
        return true;
    }
    case ID_BULLET:
        if (checked) *checked = tq::HasBullet(c.block());
        return true;
    case ID_INDENT_MORE: return true;
    case ID_INDENT_LESS: {
        return st.startIndent && *st.startIndent > 0;
    }
    case ID_TEXT_COLOUR:
        if (checked) *checked = st.colour;
        return true;
    case ID_TEXT_COLOUR_OFF: return st.colour;
    case ID_TEXT_BACKGROUND:
        if (checked) *checked = st.background;
        return true;
    case ID_TEXT_BACKGROUND_OFF: return st.background;
    case ID_UPPER_CASE:
    case ID_LOWER_CASE: return c.hasSelection();
    case ID_INSERT_DATETIME:
    case ID_FONT_USE_DEFAULT:
    case ID_IMPORT_TEXT:
    case ID_IMPORT_PICTURES: return true;
    case ID_EDIT_UNDO: return document()->isUndoAvailable();
    case ID_EDIT_CUT: return c.hasSelection();
    case ID_EDIT_PASTE: return canPaste();
    default: return false;
    }
}

template <class F> void CZettrixView::Edit(F&& f) {
    QTextCursor c = textCursor();
    f(c);
    setTextCursor(c);
    if (!c.hasSelection()) setCurrentCharFormat(c.charFormat());
    SelectionChanged();
}

void CZettrixView::Execute(int id) {
    if (!IsEnabled(id)) return;
    const int step = defaults_.indentStep;
    switch (id) {
    case ID_FOLLOW_LINK: emit linkActivated(LinkTextAtCaret()); break;
    case ID_PAGE_BACKGROUND: ChoosePageBackground(); break;
    case ID_CHAR_BOLD: Edit([](QTextCursor& c) { ToggleCharEffect(c, CharEffect::Bold); }); break;
    case ID_CHAR_ITALIC: Edit([](QTextCursor& c) { ToggleCharEffect(c, CharEffect::Italic); }); break;
    case ID_CHAR_UNDERLINE: Edit([](QTextCursor& c) { ToggleCharEffect(c, CharEffect::Underline); }); break;
    case ID_CHAR_STRIKEOUT: Edit([](QTextCursor& c) { ToggleCharEffect(c, CharEffect::StrikeOut); }); break;
    case ID_CHAR_SUPERSCRIPT:
        Edit([this](QTextCursor& c) { ToggleSuperscript(c, defaults_.sizeTwips); });
        break;
    case ID_CHAR_SUBSCRIPT: Edit([this](QTextCursor& c) { ToggleSubscript(c, defaults_.sizeTwips); }); break;
    case ID_PARA_LEFT: Edit([](QTextCursor& c) { SetAlignment(c, Qt::AlignLeft); }); break;
    case ID_PARA_CENTER: Edit([](QTextCursor& c) { SetAlignment(c, Qt::AlignHCenter); }); break;
    case ID_PARA_RIGHT: Edit([](QTextCursor& c) { SetAlignment(c, Qt::AlignRight); }); break;
    case ID_BULLET: Edit([step](QTextCursor& c) { ToggleBullets(c, step); }); break;
    case ID_INDENT_MORE: Edit([step](QTextCursor& c) { IndentMore(c, step); }); break;
    case ID_INDENT_LESS: Edit([step](QTextCursor& c) { IndentLess(c, step); }); break;
    case ID_TEXT_COLOUR: ChooseColour(false); break;
    case ID_TEXT_BACKGROUND: ChooseColour(true); break;
    case ID_TEXT_COLOUR_OFF: Edit([](QTextCursor& c) { SetTextColour(c, std::nullopt); }); break;
    case ID_TEXT_BACKGROUND_OFF: Edit([](QTextCursor& c) { SetTextBackground(c, std::nullopt); }); break;
    case ID_UPPER_CASE: Edit([](QTextCursor& c) { ConvertCase(c, true); }); break;
    case ID_LOWER_CASE: Edit([](QTextCursor& c) { ConvertCase(c, false); }); break;
    case ID_INSERT_DATETIME: InsertDateTime(QDateTime::currentDateTime(), QLocale()); break;
    case ID_FONT_TAKE_DEFAULT:
        // Kept pages were read with the old default font.
        if (TakeDefaultFont(textCursor(), defaults_)) ForgetRecent(0);
        break;
    case ID_FONT_USE_DEFAULT: Edit([this](QTextCursor& c) { UseDefaultFont(c, defaults_); }); break;
    case ID_WRAP_PRINTER: SetWordWrap(2); break;
    case ID_WRAP_WINDOW: SetWordWrap(1); break;
    case ID_WRAP_NONE: SetWordWrap(0); break;
    case ID_IMPORT_TEXT: ImportTextFiles(); break;
    case ID_IMPORT_PICTURES: ImportPictureFiles(); break;
    case ID_EDIT_UNDO: undo(); break;
    case ID_EDIT_CUT: cut(); break;
    case ID_EDIT_COPY: copy(); break;
    case ID_EDIT_PASTE: Paste(); break;
    case ID_EDIT_SELECT_ALL: selectAll(); break;
    default: break;
    }
    UpdateFontBar();
}

void CZettrixView::ChooseColour(bool background) {
    const auto formats = SelectionCharFormats(textCursor());
    QColor current = background ? formats.front().background().color() : formats.front().foreground().color();
    if (!current.isValid()) current = background ? palette().color(QPalette::Base) : palette().color(QPalette::Text);
    const QColor c = QColorDialog::getColor(current, this, background ? QStringLiteral("Texthintergrundfarbe")
                                                                      : QStringLiteral("Textfarbe"));
    if (!c.isValid()) return;
    Edit([&](QTextCursor& cur) {
        if (background)
            SetTextBackground(cur, c);
        else
            SetTextColour(cur, c);
    });
}

void CZettrixView::ApplyDefaultFormat() {
    Edit([this](QTextCursor& c) { zt::ui::ApplyDefaultFormat(c, defaults_); });
    setCurrentCharFormat(DefaultCharFormat(defaults_));
}

QString CZettrixView::DateTimeText(const QDateTime& when, const QLocale& locale) {
    QString s = locale.toString(when.date(), QLocale::LongFormat) + QStringLiteral(", ") +
                locale.toString(when.time(), QLocale::ShortFormat);
    return s.left(199);
}

void CZettrixView::InsertDateTime(const QDateTime& when, const QLocale& locale) {
    textCursor().insertText(DateTimeText(when, locale));
}

// ---- pictures, text files, clipboard

bool CZettrixView::InsertPictureFile(const QString& path, std::string* error) {
    QByteArray bytes;
    if (!ReadFileCapped(path, bytes) || bytes.isEmpty()) {
        if (error) *error = "unreadable file";
        return false;
    }
    return InsertPictureBytes(bytes, error);
}

bool CZettrixView::InsertPictureBytes(const QByteArray& bytes, std::string* error) {
    QTextCursor c = textCursor();
    if (!tq::InsertPicture(c, bytes, error)) return false;
    c.clearSelection();
    setTextCursor(c);
    return true;
}

bool CZettrixView::InsertPicture(const QByteArray& bytes) {
    if (isReadOnly() || !InsertPictureBytes(bytes, nullptr)) return false;
    SavePageText(ident_);
    return true;
}

bool CZettrixView::InsertTextAtCaret(const std::string& bytes, bool isRtf) {
    QTextCursor c = textCursor();
    if (isRtf) {
        if (!tq::InsertRtf(bytes, c)) return false;
    } else if (zt::IsUtf8(bytes)) {
        // Text files of this system are UTF-8; older ones are Windows-1252.
        QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        c.insertText(text);
    } else {
        tq::InsertPlainText(bytes, c);
    }
    setTextCursor(c);
    ApplyDefaultFormat();
    return true;
}

bool CZettrixView::InsertText(const std::string& bytes, bool isRtf) {
    if (isReadOnly() || !InsertTextAtCaret(bytes, isRtf)) return false;
    SavePageText(ident_);
    return true;
}

bool CZettrixView::InsertTextFile(const QString& path, int chosenFormat, std::string* error) {
    zt::TextFileOptions options;
    options.chosenFormat = chosenFormat;
    options.status = &doc_.Prompter();
    std::string bytes, why;
    if (!zt::ReadTextForPage(path.toStdString(), bytes, why, options)) {
        if (error) *error = why;
        return false;
    }
    const zt::FileKind kind = zt::LooksBinary(bytes);
    if (kind == zt::FileKind::Binary &&
        !doc_.Prompter().AskOkCancel(FormatMessage(Msg::FileLooksBinary, {path.toStdString()})))
        return true; // skipped
    if (!InsertTextAtCaret(bytes, kind == zt::FileKind::Rtf)) {
        if (error) *error = FormatMessage(Msg::TextFileReadFailed, {path.toStdString()});
        return false;
    }
    return true;
}

void CZettrixView::ImportTextFiles() {
    const QString filter = QString::fromStdString(zt::BuildQtFilter(false));
    QString chosenFilter;
    const QStringList files =
        chooseTextFiles ? chooseTextFiles(filter, chosenFilter)
                        : QFileDialog::getOpenFileNames(this, QStringLiteral("Text importieren"), QString(), filter,
                                                        &chosenFilter);
    if (files.isEmpty()) return;
    const int format = zt::FormatOfFilter(zt::FilterPosition(chosenFilter.toStdString(), false), false);
    ShowStatus(MessageText(Msg::ImportingText));
    for (const QString& f : files) {
        std::string error;
        if (!InsertTextFile(f, format < 0 ? zt::kFormatText : format, &error))
            doc_.Prompter().Message(error.empty() ? FormatMessage(Msg::TextFileReadFailed, {f.toStdString()}) : error);
    }
    ShowStatus({});
}

void CZettrixView::ImportPictureFiles() {
    const QStringList files =
        QFileDialog::getOpenFileNames(this, QStringLiteral("Bilder importieren"), QString(),
                                      QStringLiteral("All files (*.*)"));
    if (files.isEmpty()) return;
    ShowStatus(MessageText(Msg::ImportingPictures));
    for (const QString& f : files)
        if (!InsertPictureFile(f))
            doc_.Prompter().Message(FormatMessage(Msg::PictureInsertFailed, {f.toStdString()}));
    ShowStatus({});
}

bool CZettrixView::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasImage() || source->hasFormat(QString::fromLatin1(kRtfMime)) || source->hasUrls() ||
           QTextEdit::canInsertFromMimeData(source);
}

void CZettrixView::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly()) return;
    QTextCursor c = textCursor();
    if (source->hasFormat(QString::fromLatin1(kRtfMime))) {
        const QByteArray rtf = source->data(QString::fromLatin1(kRtfMime));
        if (tq::InsertRtf(std::string_view(rtf.constData(), size_t(rtf.size())), c)) {
            setTextCursor(c);
            return;
        }
    }
    if (source->hasImage()) {
        const QImage img = qvariant_cast<QImage>(source->imageData());
        QByteArray png;
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        if (!img.isNull() && img.save(&buf, "PNG") && tq::InsertPicture(c, png)) {
            setTextCursor(c);
            return;
        }
    }
    if (source->hasUrls()) {
        bool any = false;
        for (const QUrl& u : source->urls()) {
            if (!u.isLocalFile()) continue;
            const QString path = u.toLocalFile();
            if (!QImageReader::imageFormat(path).isEmpty()) {
                any |= InsertPictureFile(path);
            }
        }
        if (any) return;
    }
    if (source->hasText()) {
        const std::string text = zt::Utf8ToCp1252(source->text().toStdString());
        tq::InsertPlainText(text, c);
        setTextCursor(c);
        return;
    }
    QTextEdit::insertFromMimeData(source);
}

QMimeData* CZettrixView::createMimeDataFromSelection() const {
    QMimeData* m = QTextEdit::createMimeDataFromSelection();
    const QTextDocumentFragment frag = textCursor().selection();
    const std::string rtf = tq::WriteRtf(frag);
    if (!rtf.empty()) m->setData(QString::fromLatin1(kRtfMime), QByteArray(rtf.data(), qsizetype(rtf.size())));
    return m;
}

void CZettrixView::Paste() {
    const QTextCharFormat before = textCursor().charFormat();
    paste();
    QTextCursor c = textCursor();
    c.setCharFormat(before);
    setTextCursor(c);
    setCurrentCharFormat(before);
}

// ---- tab dialog

void CZettrixView::OpenTabDialog() {
    if (!PageEditable()) return;
    const auto tabs = UniformTabStops(textCursor());
    CZTTabDialog dlg(tabs ? *tabs : std::vector<int>{}, rulerUnit_, this);
    if (dlg.exec() != QDialog::Accepted) return;
    Edit([&](QTextCursor& c) { SetTabStops(c, dlg.Positions()); });
}

// ---- mouse, keys, context menu

void CZettrixView::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Paste)) {
        if (!isReadOnly()) Paste();
        return;
    }
    if (e->key() == Qt::Key_Insert && e->modifiers() == Qt::NoModifier) {
        setOverwriteMode(!overwriteMode());
        UpdateStatusPanes();
        return;
    }
    QTextEdit::keyPressEvent(e);
}

void CZettrixView::mousePressEvent(QMouseEvent* e) {
    pressedAt_ = e->position().toPoint();
    QTextEdit::mousePressEvent(e);
}

void CZettrixView::mouseMoveEvent(QMouseEvent* e) {
    QTextEdit::mouseMoveEvent(e);
    if (!(e->buttons() & Qt::LeftButton)) {
        // The pointer shows a hand over a link.
        const QPointF at = e->position() + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
        const bool overLink = !anchorAt(e->position().toPoint()).isEmpty() ||
                              (marker_ && !marker_->LinkAtPoint(at).isEmpty());
        viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
    }
    if (!autoWord_ || !(e->buttons() & Qt::LeftButton)) return;
    QTextCursor c = textCursor();
    if (!c.hasSelection() || !c.selectedText().contains(QLatin1Char(' '))) return;
    // A selection across words takes whole words.
    const int a = c.anchor(), p = c.position();
    QTextCursor s(document()), t(document());
    s.setPosition(a);
    t.setPosition(p);
    if (p > a) {
        s.movePosition(QTextCursor::StartOfWord);
        t.movePosition(QTextCursor::EndOfWord);
    } else {
        s.movePosition(QTextCursor::EndOfWord);
        t.movePosition(QTextCursor::StartOfWord);
    }
    c.setPosition(s.position());
    c.setPosition(t.position(), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

QMenu* CZettrixView::CreateContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("EditRclick"));
    auto run = [this](int id) {
        if (runCommand)
            runCommand(id);
        else
            Execute(id);
    };
    auto enabled = [this](int id) { return commandEnabled ? commandEnabled(id) : IsEnabled(id); };
    auto add = [&](QMenu* m, const QString& text, int id) {
        QAction* a = m->addAction(text);
        a->setEnabled(enabled(id));
        connect(a, &QAction::triggered, this, [run, id] { run(id); });
        return a;
    };
    add(menu, QStringLiteral("Fettschrift"), ID_CHAR_BOLD);
    add(menu, QStringLiteral("Kursivschrift"), ID_CHAR_ITALIC);
    add(menu, QStringLiteral("Unterstrichen"), ID_CHAR_UNDERLINE);
    QMenu* more = menu->addMenu(QStringLiteral("Mehr..."));
    add(more, QStringLiteral("Durchgestrichen"), ID_CHAR_STRIKEOUT);
    add(more, QStringLiteral("Hochgestellt"), ID_CHAR_SUPERSCRIPT);
    add(more, QStringLiteral("Tiefgestellt"), ID_CHAR_SUBSCRIPT);
    add(more, QStringLiteral("Großbuchstaben"), ID_UPPER_CASE);
    add(more, QStringLiteral("Kleinbuchstaben"), ID_LOWER_CASE);
    add(menu, QStringLiteral("Aufzählen"), ID_BULLET);
    add(menu, QStringLiteral("Einzug vergrößern"), ID_INDENT_MORE);
    add(menu, QStringLiteral("Einzug verkleinern"), ID_INDENT_LESS);
    add(menu, QStringLiteral("Linksbündig"), ID_PARA_LEFT);
    add(menu, QStringLiteral("Zentriert"), ID_PARA_CENTER);
    add(menu, QStringLiteral("Rechtsbündig"), ID_PARA_RIGHT);
    QMenu* colour = menu->addMenu(QStringLiteral("Textfarbe"));
    add(colour, QStringLiteral("Verwenden..."), ID_TEXT_COLOUR);
    add(colour, QStringLiteral("Ausschalten"), ID_TEXT_COLOUR_OFF);
    QMenu* back = menu->addMenu(QStringLiteral("Texthintergrundfarbe"));
    add(back, QStringLiteral("Verwenden..."), ID_TEXT_BACKGROUND);
    add(back, QStringLiteral("Ausschalten"), ID_TEXT_BACKGROUND_OFF);
    add(menu, QStringLiteral("Ausschneiden"), ID_EDIT_CUT);
    add(menu, QStringLiteral("Kopieren"), ID_EDIT_COPY);
    add(menu, QStringLiteral("Einfügen"), ID_EDIT_PASTE);
    add(menu, QStringLiteral("Alles markieren"), ID_EDIT_SELECT_ALL);
    add(menu, QStringLiteral("Datum && Zeit einfügen"), ID_INSERT_DATETIME);
    add(menu, QStringLiteral("Seitenansicht..."), ID_PAGE_PREVIEW);
    QMenu* imp = menu->addMenu(QStringLiteral("Importieren"));
    add(imp, QStringLiteral("Text"), ID_IMPORT_TEXT);
    add(menu, QStringLiteral("Link verfolgen"), ID_FOLLOW_LINK);
    add(menu, QStringLiteral("Zurück"), ID_NAV_BACK);
    add(menu, QStringLiteral("Rückgängig"), ID_EDIT_UNDO);
    return menu;
}

void CZettrixView::contextMenuEvent(QContextMenuEvent* e) {
    // The caret stays where it is; the menu opens at the pointer (or at the
    // caret for the context-menu key).
    std::unique_ptr<QMenu> menu(CreateContextMenu(this));
    const QPoint at = e->reason() == QContextMenuEvent::Mouse ? e->globalPos()
                                                               : viewport()->mapToGlobal(cursorRect().bottomLeft());
    menu->exec(at);
}

QString CZettrixView::LinkTextAtCaret() const {
    // A hyperlink field names its target; otherwise the text around the caret.
    QTextCursor c = textCursor();
    if (!c.hasSelection()) {
        QTextCharFormat f = c.charFormat();
        if (!f.isAnchor() && !c.atBlockEnd()) {
            QTextCursor n = c;
            n.movePosition(QTextCursor::NextCharacter);
            f = n.charFormat();
        }
        if (f.isAnchor() && !f.anchorHref().isEmpty()) return f.anchorHref();
    }
    return tq::LinkTextAround(c);
}

void CZettrixView::SetAutoLink(bool on) {
    autoLink_ = on;
    if (marker_) marker_->SetEnabled(on);
}

void CZettrixView::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = e->button() == Qt::LeftButton &&
                       (e->position().toPoint() - pressedAt_).manhattanLength() < QApplication::startDragDistance();
    QTextEdit::mouseReleaseEvent(e);
    if (!click || textCursor().hasSelection()) return;
    // A click on a marked link or a hyperlink field follows it.
    QString link = anchorAt(e->position().toPoint());
    if (link.isEmpty() && marker_) {
        const QPointF at = e->position() + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
        link = marker_->LinkAtPoint(at);
    }
    if (!link.isEmpty()) emit linkActivated(link);
}

// ---- composing pages

std::string CZettrixView::NextNumber(const std::string& number, const std::string& code) {
    std::vector<int> parts;
    size_t i = 0;
    while (i <= number.size()) {
        size_t j = number.find('.', i);
        if (j == std::string::npos) j = number.size();
        parts.push_back(std::atoi(number.substr(i, j - i).c_str()));
        i = j + 1;
    }
    if (code == "c") {
        parts.push_back(1);
    } else if (code == "n") {
        parts.back() += 1;
    } else {
        for (char ch : code)
            if (ch == 'p' && parts.size() > 1) parts.pop_back();
        parts.back() += 1;
    }
    std::string out;
    for (size_t k = 0; k < parts.size(); ++k) out += (k ? "." : "") + std::to_string(parts[k]);
    return out;
}

bool CZettrixView::ComposePages(const CZTPageNode* anchor, int mode, bool withTitles) {
    ShowStatus(MessageText(Msg::SavingPage));
    SaveCurrentPage();
    ShowStatus(MessageText(Msg::LoadingPage));
    const CZTPageTree& tree = doc_.Tree();
    if (mode == 0) anchor = tree.FirstRootPage();
    if (!anchor && mode != 0) anchor = tree.FindPage(ident_);
    if (!anchor) {
        ShowStatus({});
        return false;
    }
    const size_t count = mode == 0 ? tree.CountPages() : mode == 1 ? tree.CountPages(anchor) : 1;
    const bool wasModified = doc_.IsModified();
    composition_.clear();
    ClearView();
    // Links are marked once the pages are in.
    CZTLinkMarker::Suspension noMarking(marker_);
    ApplyDefaultFormat();
    QTextCharFormat titleFormat = DefaultCharFormat(defaults_);
    titleFormat.setFontWeight(QFont::Bold);
    titleFormat.setFontUnderline(true);
    titleFormat.setFontPointSize(18);

    auto insertTitle = [&](const std::string& heading) {
        QTextCursor c = textCursor();
        c.movePosition(QTextCursor::End);
        c.setCharFormat(titleFormat);
        c.insertBlock();
        c.insertText(QString::fromStdString(zt::Cp1252ToUtf8(heading)), titleFormat);
        c.insertBlock();
        c.insertBlock();
        c.setCharFormat(DefaultCharFormat(defaults_));
        setTextCursor(c);
    };
    auto insertText = [&](int32_t ident) {
        QTextCursor c = textCursor();
        c.movePosition(QTextCursor::End);
        setTextCursor(c);
        InsertPageText(ident);
    };
    auto endPage = [&]() {
        QTextCursor c = textCursor();
        c.movePosition(QTextCursor::End);
        c.insertBlock();
        setTextCursor(c);
        composition_.back().endOffset = c.position() - 1;
    };

    document()->setUndoRedoEnabled(false);
    CZTPageWalker walker(tree, anchor, mode == 1);
    CZTWalkStep step;
    std::string number;
    size_t done = 0;
    while (done < count && walker.NextInWalk(step)) {
        number = done == 0 ? "1" : NextNumber(number, step.code);
        const std::string heading = number + " " + step.node->Title();
        composition_.push_back({heading, 0});
        if (withTitles) {
            if (done == 0) {
                QTextCursor c(document());
                c.select(QTextCursor::Document);
                c.setCharFormat(titleFormat);
                setTextCursor(c);
            }
            insertTitle(heading);
            insertText(step.ident);
        } else if (done == 0) {
            LoadPageText(step.ident, LoadMode::Show);
            moveCursor(QTextCursor::End);
        } else {
            insertText(step.ident);
        }
        endPage();
        ++done;
    }
    document()->setUndoRedoEnabled(true);
    doc_.Archive().SetModified(wasModified);
    document()->setModified(false);
    ShowStatus({});
    return true;
}

} // namespace zt::ui
