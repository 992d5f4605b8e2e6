#include "ui/treedialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <map>

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/document.h"
#include "core/pagepaths.h"

namespace zt::ui {

namespace {

QString U(const std::string& cp1252) { return QString::fromStdString(zt::Cp1252ToUtf8(cp1252)); }
QColor FromRgb(int32_t rgb) { return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF); }
int32_t ToRgb(const QColor& c) { return int32_t(c.red() | (c.green() << 8) | (c.blue() << 16)); }

QDialogButtonBox* OkCancel(QDialog* dlg) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QObject::connect(box, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return box;
}

} // namespace

// ---- formatting

QString FormatStamp(int64_t stamp) {
    // The date and time as the user's locale writes them ("%c").
    const QDateTime t = QDateTime::fromSecsSinceEpoch(stamp > 0 ? stamp : 1);
    return t.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString FormatBytes(int64_t bytes, int64_t compressed) {
    return QString::fromStdString(
        FormatMessage(Msg::BytesCompressed, {std::to_string(bytes), std::to_string(compressed)}));
}

CZTSizes PageSizes(CZTDocument& doc, int32_t ident) {
    CZTSizes s;
    CZTArchive& a = doc.Archive();
    const CZTNode* node = a.Core().Node(ident);
    if (!node) {
        s.known = false;
        return s;
    }
    s.text = node->method == 1 ? node->uncompressedLength : node->storedLength;
    s.textCompressed = node->storedLength;
    s.all = s.text;
    s.allCompressed = s.textCompressed;
    for (const CZTFileEntry& f : node->files) {
        ++s.files;
        s.all += f.uncompressedLength;
        s.allCompressed += f.storedLength;
    }
    return s;
}

CZTSizes SubtreeSizes(CZTDocument& doc, const CZTPageNode* start, size_t& pages) {
    CZTSizes total;
    pages = 0;
    CZTPageWalker walker(doc.Tree(), start, start != nullptr);
    CZTWalkStep step;
    while (walker.NextInWalk(step)) {
        ++pages;
        CZTSizes s = PageSizes(doc, step.ident);
        total.known = total.known && s.known;
        total.files += s.files;
        total.text += s.text;
        total.textCompressed += s.textCompressed;
        total.all += s.all;
        total.allCompressed += s.allCompressed;
    }
    return total;
}

// ---- sort

CZTSortDialog::CZTSortDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Sortieren..."));
    setObjectName(QStringLiteral("sortDialog"));
    auto* levels = new QGroupBox(QStringLiteral("Umfang"), this);
    oneLevel_ = new QRadioButton(QStringLiteral("&ein Level"), levels);
    allLevels_ = new QRadioButton(QStringLiteral("a&lle Level (Unterbäume)"), levels);
    auto* l1 = new QVBoxLayout(levels);
    l1->addWidget(oneLevel_);
    l1->addWidget(allLevels_);
    auto* order = new QGroupBox(QStringLiteral("Reihenfolge"), this);
    ascending_ = new QRadioButton(QStringLiteral("a&ufsteigend"), order);
    descending_ = new QRadioButton(QStringLiteral("a&bsteigend"), order);
    auto* l2 = new QVBoxLayout(order);
    l2->addWidget(ascending_);
    l2->addWidget(descending_);
    oneLevel_->setChecked(true);
    ascending_->setChecked(true);
    auto* row = new QHBoxLayout;
    row->addWidget(levels);
    row->addWidget(order);
    auto* top = new QVBoxLayout(this);
    top->addLayout(row);
    top->addWidget(OkCancel(this));
}

bool CZTSortDialog::AllLevels() const { return allLevels_->isChecked(); }
bool CZTSortDialog::Descending() const { return descending_->isChecked(); }

void CZTSortDialog::SetChoice(bool allLevels, bool descending) {
    (allLevels ? allLevels_ : oneLevel_)->setChecked(true);
    (descending ? descending_ : ascending_)->setChecked(true);
}

// ---- tree entry style

CZTTreeEntryDialog::CZTTreeEntryDialog(const QString& title, const TreeEntryStyle& style, QWidget* parent)
    : QDialog(parent), textColour_(style.textColor), backColour_(style.backColor) {
    setWindowTitle(QStringLiteral("Baumeintrag bearbeiten"));
    setObjectName(QStringLiteral("treeEntryDialog"));

    titleEdit = new QLineEdit(title, this);
    faceBox = new QComboBox(this);
    faceBox->setEditable(true);
    faceBox->addItem(QString());
    faceBox->addItems(QFontDatabase::families());
    faceBox->setCurrentText(style.Has(TreeEntryStyle::FontNameSet) ? U(style.fontName) : QString());
    sizeBox = new QComboBox(this);
    sizeBox->setEditable(true);
    sizeBox->addItem(QString());
    for (int s : {6, 7, 8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72}) sizeBox->addItem(QString::number(s));
    sizeBox->setCurrentText(style.Has(TreeEntryStyle::SizeSet) && style.fontSize > 0 ? QString::number(style.fontSize)
                                                                                       : QString());
    bold = new QCheckBox(QStringLiteral("&Fettschrift"), this);
    italic = new QCheckBox(QStringLiteral("&Kursivschrift"), this);
    underline = new QCheckBox(QStringLiteral("&Unterstrichen"), this);
    strikeOut = new QCheckBox(QStringLiteral("&Durchgestrichen"), this);
    bold->setChecked(style.Has(TreeEntryStyle::Bold));
    italic->setChecked(style.Has(TreeEntryStyle::Italic));
    underline->setChecked(style.Has(TreeEntryStyle::Underline));
    strikeOut->setChecked(style.Has(TreeEntryStyle::StrikeOut));
    textColourBox = new QCheckBox(QStringLiteral("Te&xtfarbe"), this);
    backColourBox = new QCheckBox(QStringLiteral("&Hintergrundfarbe"), this);
    textColourBox->setChecked(style.Has(TreeEntryStyle::TextColorSet));
    backColourBox->setChecked(style.Has(TreeEntryStyle::BackColorSet));
    textSwatch_ = new QLabel(this);
    backSwatch_ = new QLabel(this);
    siblings = new QCheckBox(QStringLiteral("&Nachbarseiten einbeziehen"), this);
    subtrees = new QCheckBox(QStringLiteral("Unter&bäum(e) einbeziehen"), this);
    preview_ = new QLabel(this);
    preview_->setMinimumHeight(40);
    preview_->setFrameShape(QFrame::StyledPanel);
    preview_->setAutoFillBackground(true);
    preview_->setContentsMargins(8, 4, 8, 4);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Titel:"), titleEdit);
    form->addRow(QStringLiteral("&Schriftart:"), faceBox);
    form->addRow(QStringLiteral("&Größe:"), sizeBox);
    auto* styleBox = new QGroupBox(QStringLiteral("Schriftstil"), this);
    auto* sl = new QGridLayout(styleBox);
    sl->addWidget(bold, 0, 0);
    sl->addWidget(italic, 0, 1);
    sl->addWidget(underline, 1, 0);
    sl->addWidget(strikeOut, 1, 1);
    auto* colourBox = new QGroupBox(QStringLiteral("Farben"), this);
    auto* cl = new QGridLayout(colourBox);
    cl->addWidget(textColourBox, 0, 0);
    cl->addWidget(textSwatch_, 0, 1);
    cl->addWidget(backColourBox, 1, 0);
    cl->addWidget(backSwatch_, 1, 1);
    cl->setColumnStretch(1, 1);
    auto* scope = new QGroupBox(QStringLiteral("Anwenden auf"), this);
    auto* scl = new QVBoxLayout(scope);
    scl->addWidget(siblings);
    scl->addWidget(subtrees);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(styleBox);
    top->addWidget(colourBox);
    top->addWidget(scope);
    top->addWidget(new QLabel(QStringLiteral("Vorschau:"), this));
    top->addWidget(preview_);
    top->addWidget(OkCancel(this));

    connect(textColourBox, &QCheckBox::clicked, this, [this](bool on) {
        if (on) PickColour(true);
        ShowSwatches();
    });
    connect(backColourBox, &QCheckBox::clicked, this, [this](bool on) {
        if (on) PickColour(false);
        ShowSwatches();
    });
    for (QCheckBox* b : {bold, italic, underline, strikeOut})
        connect(b, &QCheckBox::toggled, this, &CZTTreeEntryDialog::UpdatePreview);
    connect(faceBox, &QComboBox::currentTextChanged, this, &CZTTreeEntryDialog::UpdatePreview);
    connect(sizeBox, &QComboBox::currentTextChanged, this, &CZTTreeEntryDialog::UpdatePreview);
    connect(titleEdit, &QLineEdit::textChanged, this, &CZTTreeEntryDialog::UpdatePreview);
    ShowSwatches();
}

void CZTTreeEntryDialog::PickColour(bool text) {
    QColor initial = FromRgb(text ? textColour_ : backColour_);
    QColor c = QColorDialog::getColor(initial, this, text ? QStringLiteral("Textfarbe") : QStringLiteral("Hintergrundfarbe"));
    if (text)
        SetTextColour(c);
    else
        SetBackColour(c);
}

void CZTTreeEntryDialog::SetTextColour(const QColor& c) {
    textColourBox->setChecked(c.isValid());
    if (c.isValid()) {
        textColour_ = ToRgb(c);
        colourChosen_ = true;
    }
    ShowSwatches();
}

void CZTTreeEntryDialog::SetBackColour(const QColor& c) {
    backColourBox->setChecked(c.isValid());
    if (c.isValid()) {
        backColour_ = ToRgb(c);
        colourChosen_ = true;
    }
    ShowSwatches();
}

void CZTTreeEntryDialog::ShowSwatches() {
    auto show = [](QLabel* label, bool on, int32_t rgb) {
        if (!on) {
            label->clear();
            return;
        }
        QColor c = FromRgb(rgb);
        label->setText(QStringLiteral("<span style=\"background:%1\">&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</span> "
                                      "R: %2 G: %3 B: %4")
                           .arg(c.name())
                           .arg(c.red(), 3, 10, QLatin1Char('0'))
                           .arg(c.green(), 3, 10, QLatin1Char('0'))
                           .arg(c.blue(), 3, 10, QLatin1Char('0')));
    };
    show(textSwatch_, textColourBox->isChecked(), textColour_);
    show(backSwatch_, backColourBox->isChecked(), backColour_);
    UpdatePreview();
}

void CZTTreeEntryDialog::UpdatePreview() {
    TreeEntryStyle s = Style();
    QFont f = font();
    if (s.Has(TreeEntryStyle::FontNameSet)) f.setFamily(U(s.fontName));
    if (s.Has(TreeEntryStyle::SizeSet) && s.fontSize > 0 && s.fontSize < 200) f.setPointSize(s.fontSize);
    f.setBold(s.Has(TreeEntryStyle::Bold));
    f.setItalic(s.Has(TreeEntryStyle::Italic));
    f.setUnderline(s.Has(TreeEntryStyle::Underline));
    f.setStrikeOut(s.Has(TreeEntryStyle::StrikeOut));
    preview_->setFont(f);
    preview_->setText(titleEdit->text());
    QPalette pal = palette();
    pal.setColor(QPalette::Window,
                 s.Has(TreeEntryStyle::BackColorSet) ? FromRgb(s.backColor) : palette().color(QPalette::Base));
    pal.setColor(QPalette::WindowText,
                 s.Has(TreeEntryStyle::TextColorSet) ? FromRgb(s.textColor) : palette().color(QPalette::Text));
    preview_->setPalette(pal);
}

QString CZTTreeEntryDialog::Title() const { return titleEdit->text(); }
bool CZTTreeEntryDialog::Siblings() const { return siblings->isChecked(); }
bool CZTTreeEntryDialog::Subtrees() const { return subtrees->isChecked(); }

TreeEntryStyle CZTTreeEntryDialog::Style() const {
    TreeEntryStyle s;
    s.fontName = zt::Utf8ToCp1252(faceBox->currentText().trimmed().toStdString());
    if (s.fontName.size() > TreeEntryStyle::kMaxFontName) s.fontName.resize(TreeEntryStyle::kMaxFontName);
    bool ok = false;
    int size = sizeBox->currentText().trimmed().toInt(&ok);
    s.fontSize = ok && size > 0 && size < 1000 ? size : 0;
    s.textColor = textColour_;
    s.backColor = backColour_;
    uint16_t f = 0;
    if (!s.fontName.empty()) f |= TreeEntryStyle::FontNameSet;
    if (s.fontSize != 0) f |= TreeEntryStyle::SizeSet;
    if (textColourBox->isChecked()) f |= TreeEntryStyle::TextColorSet;
    if (backColourBox->isChecked()) f |= TreeEntryStyle::BackColorSet;
    if (bold->isChecked()) f |= TreeEntryStyle::Bold;
    if (italic->isChecked()) f |= TreeEntryStyle::Italic;
    if (underline->isChecked()) f |= TreeEntryStyle::Underline;
    if (strikeOut->isChecked()) f |= TreeEntryStyle::StrikeOut;
    s.flags = f;
    return s;
}

// ---- multiple move, copy, delete

std::vector<CZTWorkEntry> BuildWorkList(const CZTPageTree& tree, const std::vector<std::pair<int32_t, bool>>& listed,
                                        bool keepAll, bool* conflict) {
    std::vector<CZTWorkEntry> list;
    if (conflict) *conflict = false;
    for (const auto& [ident, subtree] : listed) {
        const CZTPageNode* page = tree.FindPage(ident);
        if (!page) continue;
        CZTWorkEntry entry{ident, subtree, 0};
        bool covered = false;
        size_t replaceAt = SIZE_MAX;
        for (size_t i = 0; i < list.size();) {
            const CZTPageNode* other = tree.FindPage(list[i].ident);
            if (other == page) { // listed twice: the first listing counts
                covered = true;
                break;
            }
            if (page->IsAncestorOf(other)) {
                if (subtree && !keepAll) {
                    if (conflict) *conflict = true;
                    list.erase(list.begin() + ptrdiff_t(i));
                    replaceAt = std::min(replaceAt, i);
                    continue;
                }
                ++list[i].depth;
            } else if (other->IsAncestorOf(page)) {
                if (list[i].subtree && !keepAll) {
                    if (conflict) *conflict = true;
                    covered = true;
                    break;
                }
                ++entry.depth;
            }
            ++i;
        }
        if (covered) continue;
        // A page that covers listed ones takes the place of the first of them.
        if (replaceAt < list.size())
            list.insert(list.begin() + ptrdiff_t(replaceAt), entry);
        else
            list.push_back(entry);
    }
    return list;
}

CZTMultipleDialog::CZTMultipleDialog(CZTDocument& doc, Prompter& prompter, CZTPageNode* current, QWidget* parent)
    : QDialog(parent), doc_(doc), prompter_(prompter) {
    setWindowTitle(QStringLiteral("Mehrfach Verschieben / Kopieren / Löschen..."));
    setObjectName(QStringLiteral("multipleDialog"));
    pages_ = new QTreeWidget(this);
    pages_->setHeaderLabel(QStringLiteral("Seiten des Dokuments"));
    pages_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    chosen_ = new QListWidget(this);
    chosen_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* addButton = new QPushButton(QStringLiteral("&Hinzufügen >>"), this);
    auto* removeButton = new QPushButton(QStringLiteral("<< Ent&fernen"), this);
    move_ = new QRadioButton(QStringLiteral("&Verschieben"), this);
    copy_ = new QRadioButton(QStringLiteral("Ko&pieren"), this);
    delete_ = new QRadioButton(QStringLiteral("&Löschen"), this);
    auto* ops = new QButtonGroup(this);
    ops->addButton(move_);
    ops->addButton(copy_);
    ops->addButton(delete_);
    move_->setChecked(true);
    target_ = new QComboBox(this);
    target_->setMinimumContentsLength(30);
    target_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    asNeighbours_ = new QRadioButton(QStringLiteral("als &Nachbarseiten einfügen"), this);
    asChildren_ = new QRadioButton(QStringLiteral("als &Kindseiten einfügen"), this);
    auto* places = new QButtonGroup(this);
    places->addButton(asNeighbours_);
    places->addButton(asChildren_);
    asNeighbours_->setChecked(true);
    files_ = new QCheckBox(QStringLiteral("&Dateien"), this);
    files_->setEnabled(false); // attached files are moved in the files view
    auto* note = new QLabel(
        QStringLiteral("Ein Häkchen an einer Zielseite kopiert, verschiebt oder löscht den ganzen Unterbaum."), this);
    note->setWordWrap(true);

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(addButton);
    middle->addWidget(removeButton);
    middle->addStretch();
    auto* lists = new QHBoxLayout;
    lists->addWidget(pages_, 1);
    lists->addLayout(middle);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Ausgewählte Seiten:"), this));
    right->addWidget(chosen_);
    lists->addLayout(right, 1);

    auto* opBox = new QGroupBox(QStringLiteral("Aktion"), this);
    auto* opl = new QHBoxLayout(opBox);
    opl->addWidget(move_);
    opl->addWidget(copy_);
    opl->addWidget(delete_);
    opl->addStretch();
    opl->addWidget(files_);
    auto* targetBox = new QGroupBox(QStringLiteral("Ziel"), this);
    auto* tl = new QGridLayout(targetBox);
    auto* targetLabel = new QLabel(QStringLiteral("&Ziel:"), this);
    targetLabel->setBuddy(target_);
    tl->addWidget(targetLabel, 0, 0);
    tl->addWidget(target_, 0, 1, 1, 2);
    tl->addWidget(asNeighbours_, 1, 1);
    tl->addWidget(asChildren_, 1, 2);
    tl->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply,
                                         this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    buttons->button(QDialogButtonBox::Apply)->setText(QStringLiteral("&Übernehmen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CZTMultipleDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });
    connect(addButton, &QPushButton::clicked, this, &CZTMultipleDialog::AddSelected);
    connect(removeButton, &QPushButton::clicked, this, &CZTMultipleDialog::RemoveSelected);
    connect(pages_, &QTreeWidget::itemDoubleClicked, this, &CZTMultipleDialog::AddSelected);
    auto updateTarget = [this] {
        bool del = delete_->isChecked();
        target_->setEnabled(!del);
        asNeighbours_->setEnabled(!del);
        asChildren_->setEnabled(!del);
    };
    connect(delete_, &QRadioButton::toggled, this, updateTarget);

    auto* top = new QVBoxLayout(this);
    top->addLayout(lists, 1);
    top->addWidget(note);
    top->addWidget(opBox);
    top->addWidget(targetBox);
    top->addWidget(buttons);
    resize(640, 480);

    FillPages();
    if (current) SetTarget(current->Ident(), false);
}

void CZTMultipleDialog::FillPages() {
    int32_t target = target_->currentData().toInt();
    pages_->clear();
    target_->clear();
    std::map<const CZTPageNode*, QTreeWidgetItem*> items;
    CZTPageWalker walker(doc_.Tree());
    CZTWalkStep step;
    while (walker.NextInWalk(step)) {
        const CZTPageNode* n = step.node;
        auto parent = items.find(n->Parent());
        QTreeWidgetItem* item = parent != items.end() ? new QTreeWidgetItem(parent->second)
                                                      : new QTreeWidgetItem(pages_);
        item->setText(0, U(n->Title()));
        item->setData(0, Qt::UserRole, n->Ident());
        items[n] = item;
        target_->addItem(U(zt::PagePath(n)), n->Ident());
    }
    pages_->expandAll();
    int t = target_->findData(target);
    if (t >= 0) target_->setCurrentIndex(t);
    // Listed pages that are gone leave the list; the others show their new path.
    for (int i = chosen_->count() - 1; i >= 0; --i) {
        QListWidgetItem* item = chosen_->item(i);
        const CZTPageNode* n = doc_.Tree().FindPage(item->data(Qt::UserRole).toInt());
        if (!n)
            delete chosen_->takeItem(i);
        else
            item->setText(U(zt::PagePath(n)));
    }
}

void CZTMultipleDialog::AddPage(int32_t ident, bool subtree) {
    const CZTPageNode* n = doc_.Tree().FindPage(ident);
    if (!n) return;
    for (int i = 0; i < chosen_->count(); ++i)
        if (chosen_->item(i)->data(Qt::UserRole).toInt() == ident) return;
    auto* item = new QListWidgetItem(U(zt::PagePath(n)), chosen_);
    item->setData(Qt::UserRole, ident);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(subtree ? Qt::Checked : Qt::Unchecked);
}

void CZTMultipleDialog::AddSelected() {
    for (QTreeWidgetItem* item : pages_->selectedItems()) AddPage(item->data(0, Qt::UserRole).toInt(), false);
}

void CZTMultipleDialog::RemoveSelected() { qDeleteAll(chosen_->selectedItems()); }

void CZTMultipleDialog::SetOperation(Operation op) {
    (op == Move ? move_ : op == Copy ? copy_ : delete_)->setChecked(true);
}

void CZTMultipleDialog::SetTarget(int32_t ident, bool asChildren) {
    int i = target_->findData(ident);
    if (i >= 0) target_->setCurrentIndex(i);
    (asChildren ? asChildren_ : asNeighbours_)->setChecked(true);
}

void CZTMultipleDialog::accept() {
    if (Apply() || chosen_->count() == 0) QDialog::accept();
}

bool CZTMultipleDialog::Apply() {
    std::vector<std::pair<int32_t, bool>> listed;
    for (int i = 0; i < chosen_->count(); ++i)
        listed.emplace_back(chosen_->item(i)->data(Qt::UserRole).toInt(),
                            chosen_->item(i)->checkState() == Qt::Checked);
    if (listed.empty()) return false;
    CZTPageTree& tree = doc_.Tree();
    const Operation op = move_->isChecked() ? Move : copy_->isChecked() ? Copy : Delete;
    bool conflict = false;
    std::vector<CZTWorkEntry> work = BuildWorkList(tree, listed, false, &conflict);
    if (op == Delete) {
        if (!prompter_.AskYesNo(MessageText(Msg::ConfirmDeleteSelectedPages))) return false;
    } else if (conflict) {
        Prompter::Answer a = prompter_.AskYesNoCancel(MessageText(Msg::MultipleSelectionConflict));
        if (a == Prompter::Answer::Cancel) return false;
        if (a == Prompter::Answer::Yes) work = BuildWorkList(tree, listed, true, nullptr);
    }
    const int32_t targetIdent = target_->currentData().toInt();
    CZTPageNode* target = tree.FindPage(targetIdent);
    const bool asChildren = asChildren_->isChecked();
    if (op != Delete) {
        if (!target) return false;
        if (op == Move) {
            // A page cannot go into its own subtree, nor next to itself.
            for (const CZTWorkEntry& e : work) {
                const CZTPageNode* n = tree.FindPage(e.ident);
                if (n && (n == target || n->IsAncestorOf(target))) {
                    prompter_.Message(MessageText(Msg::CannotMoveIntoOwnSubtree), Prompter::Icon::Warning);
                    return false;
                }
            }
        }
    }
    int maxDepth = 0;
    for (const CZTWorkEntry& e : work) maxDepth = std::max(maxDepth, e.depth);
    CZTPageNode* previous = nullptr;
    CZTPageNode* selectAfterDelete = nullptr;
    bool first = true;
    for (int depth = maxDepth; depth >= 0; --depth) {
        for (const CZTWorkEntry& e : work) {
            if (e.depth != depth) continue;
            CZTPageNode* page = tree.FindPage(e.ident);
            if (!page) continue;
            if (op == Delete) {
                selectAfterDelete = doc_.DeletePage(page, e.subtree).select;
                continue;
            }
            CZTPageNode* anchor = first ? target : previous;
            const bool child = first && asChildren;
            CZTPageNode* produced = nullptr;
            if (op == Move) {
                if (anchor == page || page->IsAncestorOf(anchor)) continue;
                produced = doc_.MovePage(page, anchor,
                                         child ? CZTPageTree::MoveMode::FirstChild : CZTPageTree::MoveMode::After,
                                         e.subtree);
            } else {
                produced = doc_.CopyPages(page, e.subtree, anchor, child);
            }
            if (produced) {
                previous = produced;
                first = false;
            }
        }
    }
    doc_.SetModified();
    CZTPageNode* select = tree.FindPage(targetIdent);
    if (!select) select = selectAfterDelete ? selectAfterDelete : tree.FirstRootPage();
    emit targetChosen(select);
    FillPages();
    return true;
}

// ---- page properties

CZTPagePropertiesDialog::CZTPagePropertiesDialog(CZTDocument& doc, CZTPageNode* page, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Seiten Eigenschaften"));
    setObjectName(QStringLiteral("pagePropertiesDialog"));
    auto* tabs = new QTabWidget(this);
    CZTPageRecord record = doc.Archive().GetPage(page->Ident());
    CZTSizes sizes = PageSizes(doc, page->Ident());

    auto* pageTab = new QWidget(tabs);
    auto* f = new QFormLayout(pageTab);
    auto value = [](const QString& text) {
        auto* l = new QLabel(text);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    f->addRow(QStringLiteral("Seitenname:"), value(U(page->Title())));
    f->addRow(QStringLiteral("Langer Name:"), value(U(zt::PagePath(page))));
    f->addRow(QStringLiteral("Erstellt von:"), value(U(record.createdBy)));
    f->addRow(QStringLiteral("Erstellt am:"), value(FormatStamp(record.ctime)));
    f->addRow(QStringLiteral("Zuletzt geändert von:"), value(U(record.modifiedBy)));
    f->addRow(QStringLiteral("Zuletzt geändert am:"), value(FormatStamp(record.mtime)));
    f->addRow(QStringLiteral("Anzahl der Kindseiten:"), value(QString::number(page->ChildCount())));
    const QString unknown = QString::fromUtf8(MessageText(Msg::Unknown));
    f->addRow(QStringLiteral("Anzahl der Dateien:"), value(sizes.known ? QString::number(sizes.files) : unknown));
    f->addRow(QStringLiteral("Größe der Seite:"),
              value(sizes.known ? FormatBytes(sizes.text, sizes.textCompressed) : unknown));
    f->addRow(QStringLiteral("Größe mit Dateien:"),
              value(sizes.known ? FormatBytes(sizes.all, sizes.allCompressed) : unknown));
    tabs->addTab(pageTab, QStringLiteral("Seite"));

    if (page->HasChildren()) {
        size_t count = 0;
        const CZTSizes total = SubtreeSizes(doc, page, count);
        auto* subTab = new QWidget(tabs);
        auto* g = new QFormLayout(subTab);
        g->addRow(QStringLiteral("Anzahl der Seiten:"), value(QString::number(count)));
        g->addRow(QStringLiteral("Anzahl der Dateien:"),
                  value(total.known ? QString::number(total.files) : unknown));
        g->addRow(QStringLiteral("Größe der Seiten:"),
                  value(total.known ? FormatBytes(total.text, total.textCompressed) : unknown));
        g->addRow(QStringLiteral("Größe mit Dateien:"),
                  value(total.known ? FormatBytes(total.all, total.allCompressed) : unknown));
        tabs->addTab(subTab, QStringLiteral("Unterbaum"));
    }
    auto* top = new QVBoxLayout(this);
    top->addWidget(tabs);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    top->addWidget(box);
}

} // namespace zt::ui
