#include "ui/bars.h"

#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>

#include "base/cp1252.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "ui/docdialogs.h"

namespace zt::ui {

namespace {

QString U(const std::string& cp1252) { return QString::fromStdString(zt::Cp1252ToUtf8(cp1252)); }

const char* const kWelcome =
    "Willkommen bei Zettrix! Hier erscheinen von Zeit zu Zeit Tipps zur Arbeit mit Seiten, Texten und Dateien.";

const char* const kTips[] = {
    "Mit F6 und Umsch+F6 wechseln Sie zwischen Baum-, Text- und Dateienansicht.",
    "Umsch+F10 öffnet das Kontextmenü der Ansicht, in der Sie gerade arbeiten.",
    "Ein Rechtsklick auf das Lineal öffnet den Dialog für die Tabulatoren.",
    "Eine Seite oder einen Unterbaum archivieren Sie, indem Sie ihn auf die Dateienansicht einer anderen Seite "
    "ziehen.",
    "Markierten Text archivieren Sie, indem Sie ihn in die Dateienansicht oder in den Baum ziehen.",
    "Unterbäume lassen sich zwischen Zettrix Instanzen austauschen: per Drag && Drop, über den Desktop oder per "
    "Mail.",
    "Seiten lassen sich in laufenden Text ziehen; was dabei eingefügt wird, legen Sie unter Optionen, Text-Drag "
    "fest.",
    "Textdateien importieren Sie, indem Sie sie in den Baum ziehen.",
    "Ganze Ordner lassen sich importieren: jeder Ordner wird eine leere Seite mit seinen Dateien.",
};

} // namespace

// ---- page list

CZTPageBarList::CZTPageBarList(CZTDocument& doc, QWidget* parent) : QComboBox(parent), doc_(doc) {
    setObjectName(QStringLiteral("pageList"));
    setMaxVisibleItems(16);
    setMinimumContentsLength(40);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        if (filling_ || index < 0) return;
        emit chosen(itemData(index, Qt::UserRole).toInt(), itemData(index, Qt::UserRole + 1).toString());
    });
}

void CZTPageBarList::Fill(bool files) {
    filling_ = true;
    const int32_t current = currentIndex() >= 0 ? itemData(currentIndex()).toInt() : 0;
    clear();
    fileMode_ = files;
    QFontMetrics fm(view()->font());
    const int width = std::max(view()->width(), this->width() * 2);
    CZTArchive& a = doc_.Archive();
    CZTPageWalker walker(doc_.Tree());
    CZTWalkStep step;
    int select = -1;
    while (walker.NextInWalk(step)) {
        const QString path = U(zt::PagePath(step.node));
        const int32_t count = a.FileCount(step.ident);
        if (!files) {
            QString text = (count > 0 ? QStringLiteral("D:") : QStringLiteral("    ")) + path;
            addItem(FitText(text, fm, width), step.ident);
            setItemData(this->count() - 1, path, Qt::ToolTipRole);
            if (step.ident == current) select = this->count() - 1;
            continue;
        }
        int32_t pos = 0;
        while (pos >= 0) {
            std::string name = a.FileName(step.ident, pos);
            if (pos < 0 || name.empty()) break;
            const QString file = U(name);
            addItem(FitText(path + QStringLiteral("/") + file, fm, width), step.ident);
            setItemData(this->count() - 1, file, Qt::UserRole + 1);
            if (step.ident == current && select < 0) select = this->count() - 1;
        }
    }
    setCurrentIndex(select);
    filling_ = false;
}

void CZTPageBarList::Open(bool files) {
    openAsFiles_ = files;
    showPopup();
}

void CZTPageBarList::showPopup() {
    Fill(openAsFiles_);
    openAsFiles_ = false;
    QComboBox::showPopup();
}

void CZTPageBarList::hidePopup() {
    QComboBox::hidePopup();
}

void CZTPageBarList::ShowPage(const CZTPageNode* page) {
    filling_ = true;
    if (fileMode_) {
        clear();
        fileMode_ = false;
    }
    if (!page) {
        setCurrentIndex(-1);
        filling_ = false;
        return;
    }
    int i = findData(page->Ident());
    const bool hasFiles = doc_.Archive().FileCount(page->Ident()) > 0;
    const QString text = (hasFiles ? QStringLiteral("D:") : QStringLiteral("    ")) + U(zt::PagePath(page));
    if (i < 0) {
        insertItem(0, text, page->Ident());
        i = 0;
    } else {
        setItemText(i, text);
    }
    setCurrentIndex(i);
    filling_ = false;
}

void CZTPageBarList::Reset() {
    filling_ = true;
    clear();
    fileMode_ = false;
    filling_ = false;
}

// ---- tips

CZTTipsBar::CZTTipsBar(int next, QWidget* parent)
    : QWidget(parent), next_(next >= 0 && next < TipCount() ? next : 0) {
    setObjectName(QStringLiteral("tipsBar"));
    text_ = new QLabel(QString::fromUtf8(kWelcome), this);
    text_->setWordWrap(true);
    text_->setAutoFillBackground(true);
    text_->setPalette(QToolTip::palette());
    text_->setFrameShape(QFrame::StyledPanel);
    text_->setContentsMargins(6, 2, 6, 2);
    text_->setTextFormat(Qt::PlainText);
    pause_ = new QPushButton(QStringLiteral("Anhalten"), this);
    auto* next_b = new QPushButton(QStringLiteral("Nächster"), this);
    auto* prev = new QPushButton(QStringLiteral("Vorheriger"), this);
    auto* l = new QHBoxLayout(this);
    l->setContentsMargins(2, 1, 2, 1);
    l->addWidget(text_, 1);
    l->addWidget(pause_);
    l->addWidget(next_b);
    l->addWidget(prev);
    timer_ = new QTimer(this);
    timer_->setInterval(300000);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (!paused_) ShowTip(next_);
    });
    connect(pause_, &QPushButton::clicked, this, [this] { SetPaused(!paused_); });
    connect(next_b, &QPushButton::clicked, this, [this] { Step(1); });
    connect(prev, &QPushButton::clicked, this, [this] { Step(-1); });
}

int CZTTipsBar::TipCount() { return int(std::size(kTips)); }

QString CZTTipsBar::Text() const { return text_->text(); }

void CZTTipsBar::ShowTip(int index) {
    const int n = TipCount();
    index = ((index % n) + n) % n;
    text_->setText(QString::fromUtf8(kTips[index]).replace(QStringLiteral("&&"), QStringLiteral("&")));
    shown_ = index;
    next_ = (index + 1) % n;
}

void CZTTipsBar::Step(int delta) {
    SetPaused(true);
    if (shown_ < 0)
        ShowTip(delta > 0 ? next_ : next_ - 1);
    else
        ShowTip(shown_ + (delta > 0 ? 1 : -1));
}

void CZTTipsBar::SetPaused(bool paused) {
    if (paused == paused_) return;
    paused_ = paused;
    pause_->setText(paused ? QStringLiteral("Weiter...") : QStringLiteral("Anhalten"));
    if (!paused) {
        ShowTip(next_);
        timer_->start();
    }
}

void CZTTipsBar::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_->start();
}

void CZTTipsBar::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_->stop();
}

} // namespace zt::ui
