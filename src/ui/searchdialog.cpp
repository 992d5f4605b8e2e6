#include "ui/searchdialog.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "core/document.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "search/matcher.h"
#include "search/searcher.h"
#include "search/textcache.h"
#include "ui/leftview.h"
#include "ui/listview.h"
#include "ui/mainframe.h"
#include "ui/textview.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <thread>

namespace zt::ui {

namespace {

QString U(const std::string& cp1252) { return QString::fromStdString(Cp1252ToUtf8(cp1252)); }
std::string B(const QString& s) { return Utf8ToCp1252(s.toStdString()); }
QString M(Msg id) { return QString::fromUtf8(MessageText(id)); }

constexpr int kHistory = 10;

// What the dialog keeps for the program's run.
struct Kept {
    QStringList searchTexts, replaceTexts;
    int searchIn = 0;
    bool matchCase = false, wholeWord = false, deleteMode = false;
    int scope = 1; // the current subtree
};
Kept& KeptState() {
    static Kept k;
    return k;
}

const char* const kSearchInEntries[] = {
    "Alles", "Baumansicht", "Textansicht", "Dateienansicht", "Baum- u. Textansicht", "Baum- u. Dateienansicht",
    "Text- u. Dateienansicht",
};

int Threads() { return std::max(1u, std::min(2u, std::thread::hardware_concurrency())); }

// The view's text in the search form: one byte per position of the document.
std::string ViewSearchText(const QTextDocument& doc) {
    const QString raw = doc.toRawText();
    std::string out;
    out.reserve(size_t(raw.size()));
    for (QChar ch : raw) {
        const char16_t c = ch.unicode();
        if (c == 0x2029 || c == 0x2028 || c == '\n') {
            out.push_back('\n');
        } else if (c == '\t') {
            out.push_back('\t');
        } else if (c < 0x20 || c == 0xFDD0 || c == 0xFDD1) {
            out.push_back('\x01'); // frame and table marks: never part of a hit
        } else {
            int b = UnicodeToCp1252(c);
            out.push_back(b > 0 ? char(b) : ' ');
        }
    }
    return out;
}

} // namespace

CZTSearchDialog::CZTSearchDialog(CMainFrame& frame)
    : QDialog(&frame), frame_(frame), cache_(std::make_shared<CZTSearchTextCache>()) {
    setWindowTitle(QStringLiteral("Suchen und Ersetzen im Dokument"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("searchDialog"));
    list_.SetCache(cache_);
    const Kept& kept = KeptState();

    searchText_ = new QComboBox;
    searchText_->setObjectName(QStringLiteral("searchText"));
    searchText_->setEditable(true);
    searchText_->setInsertPolicy(QComboBox::NoInsert);
    searchText_->addItems(kept.searchTexts);
    searchText_->setCurrentText(kept.searchTexts.value(0));
    searchIn_ = new QComboBox;
    searchIn_->setObjectName(QStringLiteral("searchIn"));
    for (const char* e : kSearchInEntries) searchIn_->addItem(QString::fromUtf8(e));
    searchIn_->setCurrentIndex(kept.searchIn);
    matchCase_ = new QCheckBox(QStringLiteral("&Groß- und Kleinschreibung beachten"));
    matchCase_->setChecked(kept.matchCase);
    wholeWord_ = new QCheckBox(QStringLiteral("nur ganze &Wörter finden"));
    wholeWord_->setChecked(kept.wholeWord);
    scopeDocument_ = new QRadioButton(QStringLiteral("&Dokument"));
    scopeSubtree_ = new QRadioButton(QStringLiteral("aktuellem &Unterbaum"));
    scopePage_ = new QRadioButton(QStringLiteral("a&ktueller Seite"));
    (kept.scope == 0 ? scopeDocument_ : kept.scope == 2 ? scopePage_ : scopeSubtree_)->setChecked(true);
    replaceText_ = new QComboBox;
    replaceText_->setObjectName(QStringLiteral("replaceText"));
    replaceText_->setEditable(true);
    replaceText_->setInsertPolicy(QComboBox::NoInsert);
    replaceText_->addItems(kept.replaceTexts);
    replaceText_->setCurrentText(kept.replaceTexts.value(0));
    deleteMode_ = new QCheckBox(QStringLiteral("&Löschen"));
    deleteMode_->setChecked(kept.deleteMode);

    rows_ = new QTreeWidget;
    rows_->setObjectName(QStringLiteral("hitList"));
    rows_->setColumnCount(3);
    rows_->setHeaderLabels({QStringLiteral("Seite"), QStringLiteral("Zeile"), QStringLiteral("Ersetzt durch")});
    rows_->setColumnWidth(0, 400);
    rows_->setColumnWidth(1, 50);
    rows_->setColumnWidth(2, 100);
    rows_->setRootIsDecorated(false);
    rows_->setUniformRowHeights(true);
    rows_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    rows_->header()->setSectionsClickable(true);
    rows_->installEventFilter(this);
    counter_ = new QLabel;
    counter_->setObjectName(QStringLiteral("counterLine"));
    progress_ = new QLabel;

    search_ = new QPushButton(QStringLiteral("&Suchen"));
    search_->setToolTip(QStringLiteral("Sucht den angebenen Suchtext"));
    cancel_ = new QPushButton(QStringLiteral("Abbrechen"));
    cancel_->setObjectName(QStringLiteral("cancelSearch"));
    show_ = new QPushButton(QStringLiteral("An&zeigen"));
    show_->setToolTip(QStringLiteral("Markierten Fund der Fundliste im Text anzeigen"));
    remove_ = new QPushButton(QStringLiteral("E&ntfernen"));
    remove_->setToolTip(QStringLiteral("Markierte Zeile(n) aus der Fundliste entfernen"));
    replace_ = new QPushButton(QStringLiteral("&Ersetzen"));
    replace_->setToolTip(QStringLiteral("Markierte(n) Fund(e) der Fundliste im Text durch Ersetzungstext auswechseln"));
    selectAll_ = new QPushButton(QStringLiteral("Alle &Markieren"));
    selectAll_->setToolTip(QStringLiteral("Alle Zeilen der Fundliste markieren"));
    auto* close = new QPushButton(QStringLiteral("Schließen"));
    for (QPushButton* b : {search_, cancel_, show_, remove_, replace_, selectAll_, close}) b->setAutoDefault(false);

    auto* grid = new QGridLayout;
    auto* l1 = new QLabel(QStringLiteral("Such&text:"));
    l1->setBuddy(searchText_);
    auto* l2 = new QLabel(QStringLiteral("Suchen &in:"));
    l2->setBuddy(searchIn_);
    auto* l3 = new QLabel(QStringLiteral("E&rsetzungstext:"));
    l3->setBuddy(replaceText_);
    grid->addWidget(l1, 0, 0);
    grid->addWidget(searchText_, 0, 1);
    grid->addWidget(l2, 1, 0);
    grid->addWidget(searchIn_, 1, 1);
    grid->addWidget(matchCase_, 2, 1);
    grid->addWidget(wholeWord_, 3, 1);
    auto* scope = new QGroupBox;
    auto* sl = new QVBoxLayout(scope);
    sl->addWidget(scopeDocument_);
    sl->addWidget(scopeSubtree_);
    sl->addWidget(scopePage_);
    grid->addWidget(scope, 0, 2, 4, 1);
    grid->addWidget(l3, 4, 0);
    grid->addWidget(replaceText_, 4, 1);
    grid->addWidget(deleteMode_, 4, 2);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {search_, cancel_, show_, remove_, replace_, selectAll_}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* listLabel = new QLabel(QStringLiteral("&Fundstellen:"));
    listLabel->setBuddy(rows_);
    auto* left = new QVBoxLayout;
    left->addLayout(grid);
    left->addWidget(listLabel);
    left->addWidget(rows_, 1);
    left->addWidget(counter_);
    left->addWidget(progress_);
    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 1);
    main->addLayout(buttons);
    resize(760, 480);

    poll_ = new QTimer(this);
    poll_->setInterval(50);
    connect(poll_, &QTimer::timeout, this, &CZTSearchDialog::Poll);
    connect(search_, &QPushButton::clicked, this, &CZTSearchDialog::RunSearch);
    connect(cancel_, &QPushButton::clicked, this, &CZTSearchDialog::CancelSearch);
    connect(show_, &QPushButton::clicked, this, &CZTSearchDialog::ShowSelectedHit);
    connect(remove_, &QPushButton::clicked, this, &CZTSearchDialog::RemoveSelectedRows);
    connect(replace_, &QPushButton::clicked, this, &CZTSearchDialog::ReplaceSelected);
    connect(selectAll_, &QPushButton::clicked, this, &CZTSearchDialog::SelectAllRows);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(rows_, &QTreeWidget::itemDoubleClicked, this, [this] { ShowSelectedHit(); });
    connect(rows_, &QTreeWidget::itemSelectionChanged, this, &CZTSearchDialog::UpdateButtons);
    connect(searchText_, &QComboBox::editTextChanged, this, &CZTSearchDialog::UpdateButtons);
    connect(replaceText_, &QComboBox::editTextChanged, this, &CZTSearchDialog::UpdateButtons);
    connect(deleteMode_, &QCheckBox::toggled, this, &CZTSearchDialog::UpdateButtons);
    connect(rows_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        sortDescending_ = column == sortColumn_ ? !sortDescending_ : false;
        sortColumn_ = column;
        list_.Sort(CZTHitList::Column(column), sortDescending_);
        FillRows();
    });
    if (searchText_->lineEdit()) searchText_->lineEdit()->installEventFilter(this);
    frame_.Document().Tree().AddListener(this);
    UpdateCounter();
    UpdateButtons();
}

CZTSearchDialog::~CZTSearchDialog() {
    if (job_) {
        job_->Cancel();
        job_->Wait();
    }
    frame_.Document().Tree().RemoveListener(this);
    Kept& k = KeptState();
    k.searchIn = searchIn_->currentIndex();
    k.matchCase = matchCase_->isChecked();
    k.wholeWord = wholeWord_->isChecked();
    k.deleteMode = deleteMode_->isChecked();
    k.scope = scopeDocument_->isChecked() ? 0 : scopePage_->isChecked() ? 2 : 1;
}

void CZTSearchDialog::Remember(QComboBox* box, const QString& text) {
    QStringList& list = box->objectName() == QLatin1String("searchText") ? KeptState().searchTexts
                                                                         : KeptState().replaceTexts;
    list.removeAll(text);
    list.prepend(text);
    while (list.size() > kHistory) list.removeLast();
    box->blockSignals(true);
    box->clear();
    box->addItems(list);
    box->setCurrentText(text);
    box->blockSignals(false);
}

CZTSearchOptions CZTSearchDialog::TakeOptions() const {
    CZTSearchOptions o;
    o.text = B(searchText_->currentText());
    o.in = CZTSearchIn(std::clamp(searchIn_->currentIndex(), 0, 6));
    o.matchCase = matchCase_->isChecked();
    o.wholeWord = wholeWord_->isChecked();
    o.scope = scopeDocument_->isChecked() ? CZTSearchScope::Document
            : scopePage_->isChecked()     ? CZTSearchScope::Page
                                          : CZTSearchScope::Subtree;
    return o;
}

void CZTSearchDialog::RunSearch() {
    const QString text = searchText_->currentText();
    if (text.isEmpty()) return;
    CancelSearch();
    frame_.TextView()->SaveCurrentPage();
    Remember(searchText_, text);
    const CZTSearchOptions o = TakeOptions();
    CZTPageNode* current = frame_.TreeView()->CurrentPage();
    list_.Begin(o, current);
    pending_.clear();
    sortColumn_ = -1;
    rows_->clear();
    job_ = std::make_unique<CZTSearchJob>(TakeSearchPages(frame_.Document(), current, o, cache_.get()), o, cache_,
                                          Threads());
    job_->Start();
    poll_->start();
    UpdateButtons();
    UpdateCounter();
}

void CZTSearchDialog::CancelSearch() {
    if (!job_) return;
    job_->Cancel();
    job_->Wait();
    Poll();
}

void CZTSearchDialog::WaitForSearch() {
    if (!job_) return;
    job_->Wait();
    Poll();
}

void CZTSearchDialog::Poll() {
    if (!job_) {
        poll_->stop();
        return;
    }
    const bool done = job_->Done();
    CZTSearchCounters added;
    std::vector<CZTSearchHit> hits = job_->TakeHits(&added);
    const size_t first = list_.Size();
    list_.Append(std::move(hits), added);
    for (size_t i = first; i < list_.Size(); ++i) {
        const CZTSearchHit& h = list_.Rows()[i];
        auto* item = new QTreeWidgetItem(rows_);
        item->setText(0, U(h.path));
        item->setText(1, h.kind == CZTSearchHit::Kind::Text   ? QString::number(h.line)
                         : h.kind == CZTSearchHit::Kind::File ? U(h.fileName)
                                                              : QString());
    }
    const QString line = QString::fromStdString(FormatMessage(
        Msg::SearchingPage, {std::to_string(job_->PagesDone()), std::to_string(job_->PageCount())}));
    progress_->setText(line);
    frame_.CurrentPrompter().Status(line.toStdString());
    UpdateCounter();
    if (done) FinishSearch();
}

void CZTSearchDialog::FinishSearch() {
    poll_->stop();
    job_.reset();
    std::vector<std::pair<int32_t, CZTPageNotice>> pending;
    pending.swap(pending_);
    for (const auto& [ident, notice] : pending)
        if (list_.NotifyPageChange(frame_.Document(), frame_.CurrentPrompter(), ident, notice)) FillRows();
    progress_->clear();
    frame_.CurrentPrompter().Status("");
    UpdateCounter();
    UpdateButtons();
    if (!list_.Empty()) {
        rows_->setCurrentItem(rows_->topLevelItem(0));
        ShowHit(0);
        rows_->setFocus();
    } else {
        searchText_->setFocus();
    }
}

void CZTSearchDialog::FillRows() {
    rows_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(int(list_.Size()));
    for (const CZTSearchHit& h : list_.Rows()) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, U(h.path));
        item->setText(1, h.kind == CZTSearchHit::Kind::Text   ? QString::number(h.line)
                         : h.kind == CZTSearchHit::Kind::File ? U(h.fileName)
                                                              : QString());
        item->setText(2, U(h.replacement));
        items.push_back(item);
    }
    rows_->addTopLevelItems(items);
    UpdateCounter();
    UpdateButtons();
}

void CZTSearchDialog::UpdateCounter() { counter_->setText(QString::fromStdString(Cp1252ToUtf8(list_.CounterLine()))); }

void CZTSearchDialog::UpdateButtons() {
    const bool editable = frame_.IsEditable();
    const bool rows = !list_.Empty();
    const bool searching = job_ != nullptr;
    search_->setEnabled(!searchText_->currentText().isEmpty());
    cancel_->setEnabled(searching);
    show_->setEnabled(rows);
    remove_->setEnabled(rows && !searching);
    selectAll_->setEnabled(rows);
    replaceText_->setEnabled(editable && !deleteMode_->isChecked());
    deleteMode_->setEnabled(editable);
    replace_->setEnabled(editable && rows && !searching &&
                         (deleteMode_->isChecked() || !replaceText_->currentText().isEmpty()));
}

void CZTSearchDialog::RefreshEditable() { UpdateButtons(); }

std::vector<size_t> CZTSearchDialog::SelectedRows() const {
    std::vector<size_t> out;
    for (QTreeWidgetItem* item : rows_->selectedItems()) {
        int i = rows_->indexOfTopLevelItem(item);
        if (i >= 0 && size_t(i) < list_.Size()) out.push_back(size_t(i));
    }
    std::sort(out.begin(), out.end());
    return out;
}

void CZTSearchDialog::SelectAllRows() { rows_->selectAll(); }

void CZTSearchDialog::RemoveSelectedRows() {
    if (job_) return;
    std::vector<size_t> sel = SelectedRows();
    if (sel.empty()) return;
    size_t next = sel.front();
    list_.RemoveRows(sel);
    FillRows();
    if (QTreeWidgetItem* item = rows_->topLevelItem(int(std::min(next, list_.Size() ? list_.Size() - 1 : 0))))
        rows_->setCurrentItem(item);
}

void CZTSearchDialog::ShowSelectedHit() {
    QTreeWidgetItem* item = rows_->currentItem();
    if (!item || !item->isSelected()) {
        auto sel = rows_->selectedItems();
        item = sel.isEmpty() ? nullptr : sel.front();
    }
    if (!item) return;
    int i = rows_->indexOfTopLevelItem(item);
    if (i >= 0) ShowHit(size_t(i));
}

int CZTSearchDialog::ViewPosition(const QTextDocument& doc, const std::string& plain, const CZTSearchHit& hit,
                                  bool matchCase, bool wholeWord) {
    const std::string view = ViewSearchText(doc);
    CZTMatcher m(hit.searchText, matchCase, wholeWord);
    if (view == plain) return hit.offset;
    // The same occurrence of the search text in the view's text.
    std::vector<size_t> inPlain, inView;
    m.FindAll(plain, inPlain);
    m.FindAll(view, inView);
    auto it = std::find(inPlain.begin(), inPlain.end(), size_t(hit.offset));
    if (it != inPlain.end() && inPlain.size() == inView.size()) return int(inView[size_t(it - inPlain.begin())]);
    if (inView.empty()) return -1;
    size_t best = inView.front();
    for (size_t p : inView)
        if ((p > size_t(hit.offset) ? p - size_t(hit.offset) : size_t(hit.offset) - p) <
            (best > size_t(hit.offset) ? best - size_t(hit.offset) : size_t(hit.offset) - best))
            best = p;
    return int(best);
}

void CZTSearchDialog::ShowHit(size_t row) {
    if (row >= list_.Size()) return;
    const CZTSearchHit hit = list_.Rows()[row];
    CZTDocument& doc = frame_.Document();
    CZTPageNode* node = doc.Tree().FindPage(hit.ident);
    if (!node) return;
    if (frame_.TreeView()->CurrentPage() != node) frame_.TreeView()->SelectPage(node);
    switch (hit.kind) {
    case CZTSearchHit::Kind::Text: {
        CZettrixView* view = frame_.TextView();
        if (view->CurrentIdent() != hit.ident) view->ShowPage(node);
        std::string plain;
        const CZTNode* stored = doc.Archive().Core().Node(hit.ident);
        std::shared_ptr<const std::string> cached;
        if (stored) cached = cache_->Find({hit.ident, stored->uncompressedLength, stored->crc, stored->mtime});
        if (cached) {
            plain = *cached;
        } else {
            RtfConverter converter;
            plain = PageSearchText(doc.PageText(node), converter);
        }
        const CZTSearchOptions& o = list_.Options();
        int pos = ViewPosition(*view->document(), plain, hit, o.matchCase, o.wholeWord);
        if (pos < 0) break;
        QTextCursor c(view->document());
        const int end = std::min(pos + int(hit.searchText.size()), view->document()->characterCount() - 1);
        c.setPosition(std::min(pos, end));
        c.setPosition(end, QTextCursor::KeepAnchor);
        view->setTextCursor(c);
        view->ensureCursorVisible();
        view->SetActive(true);
        break;
    }
    case CZTSearchHit::Kind::Title:
        frame_.TreeView()->scrollTo(frame_.TreeView()->currentIndex());
        break;
    case CZTSearchHit::Kind::File:
        frame_.FilesView()->SelectFile(U(hit.fileName));
        break;
    }
}

void CZTSearchDialog::ReplaceSelected() {
    if (job_ || !frame_.IsEditable()) return;
    const bool del = deleteMode_->isChecked();
    const QString text = replaceText_->currentText();
    if (!del && text.isEmpty()) return;
    if (!del) Remember(replaceText_, text);
    Prompter& prompter = frame_.CurrentPrompter();
    // Saving the page may search it again and rebuild the rows: the
    // selection is kept by what the rows are, not by their places.
    struct Key {
        int32_t ident, offset;
        CZTSearchHit::Kind kind;
        std::string file;
        bool operator==(const Key&) const = default;
    };
    std::vector<Key> keys;
    for (size_t r : SelectedRows()) {
        const CZTSearchHit& h = list_.Rows()[r];
        keys.push_back({h.ident, h.offset, h.kind, h.fileName});
    }
    frame_.TextView()->SaveCurrentPage();
    std::vector<size_t> selected;
    for (size_t r = 0; r < list_.Size(); ++r) {
        const CZTSearchHit& h = list_.Rows()[r];
        if (std::find(keys.begin(), keys.end(), Key{h.ident, h.offset, h.kind, h.fileName}) != keys.end())
            selected.push_back(r);
    }
    prompter.Status(MessageText(Msg::ReplacingText));
    QElapsedTimer shown;
    shown.start();
    auto progress = [&](int n, int total) {
        if (shown.elapsed() < 50) return;
        shown.restart();
        prompter.Status(FormatMessage(Msg::ReplacingHit, {std::to_string(n), std::to_string(total)}));
    };
    const int currentRow = rows_->indexOfTopLevelItem(rows_->currentItem());
    list_.Replace(frame_.Document(), prompter, selected, B(text), del, progress);
    // The views show what is stored now.
    CZTPageNode* current = frame_.TreeView()->CurrentPage();
    frame_.TextView()->ShowPage(current);
    frame_.FilesView()->Refresh();
    frame_.UpdateCommandUI();
    prompter.Status("");
    FillRows();
    if (QTreeWidgetItem* item = rows_->topLevelItem(std::max(currentRow, 0))) rows_->setCurrentItem(item);
}

void CZTSearchDialog::NotifyPageChange(int32_t ident, CZTPageNotice notice) {
    if (job_) {
        // The running search may have read the page before the change.
        pending_.push_back({ident, notice});
        return;
    }
    if (list_.Empty() || list_.Replacing()) return;
    const int currentRow = rows_->indexOfTopLevelItem(rows_->currentItem());
    if (list_.NotifyPageChange(frame_.Document(), frame_.CurrentPrompter(), ident, notice)) {
        FillRows();
        if (QTreeWidgetItem* item = rows_->topLevelItem(std::max(0, std::min(currentRow, int(list_.Size()) - 1))))
            rows_->setCurrentItem(item);
    }
    UpdateCounter();
    UpdateButtons();
}

void CZTSearchDialog::PageChanged(CZTPageNode* page, CZTPageChange what) {
    if (what != CZTPageChange::Title || !page) return;
    NotifyPageChange(page->Ident(), CZTPageNotice::TitleChanged);
}

void CZTSearchDialog::PageAboutToBeRemoved(CZTPageNode* page) {
    if (page) NotifyPageChange(page->Ident(), CZTPageNotice::Deleted);
}

void CZTSearchDialog::TreeAboutToBeCleared() {
    pending_.clear();
    CancelSearch();
    pending_.clear();
    list_.Clear();
    rows_->clear();
    UpdateCounter();
    UpdateButtons();
}

bool CZTSearchDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            if (watched == rows_) {
                ShowSelectedHit();
                return true;
            }
            if (searchText_->lineEdit() && watched == searchText_->lineEdit()) {
                RunSearch();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CZTSearchDialog::keyPressEvent(QKeyEvent* event) {
    // Enter never closes the window; Escape does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (rows_->hasFocus())
            ShowSelectedHit();
        else
            RunSearch();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CZTSearchDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Edits made meanwhile reach the list through the save's notice.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !list_.Empty() && !job_)
        frame_.TextView()->SaveCurrentPage();
}

void CZTSearchDialog::closeEvent(QCloseEvent* event) {
    CancelSearch();
    QDialog::closeEvent(event);
}

} // namespace zt::ui
