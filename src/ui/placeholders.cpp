#include "ui/placeholders.h"

#include <QHeaderView>
#include <QLabel>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/cp1252.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "text/rtftokenizer.h"
#include "ui/treedialogs.h"

namespace zt::ui {

namespace {

QString U(const std::string& cp1252) { return QString::fromStdString(zt::Cp1252ToUtf8(cp1252)); }

bool SkippedDestination(std::string_view word) {
    static const char* const kSkip[] = {"fonttbl", "colortbl", "stylesheet", "info",    "pict",   "object",
                                        "header",  "footer",   "listtable",  "themedata", "ztxpict", "ztxpng",
                                        "ztxjpeg", "ztxext",   "generator", "xmlnstbl", "rsidtbl"};
    for (const char* s : kSkip)
        if (word == s) return true;
    return false;
}

} // namespace

CZTViewFrame::CZTViewFrame(const QString& title, QWidget* view, QWidget* parent) : QWidget(parent), view_(view) {
    title_ = new QLabel(title, this);
    title_->setAutoFillBackground(true);
    QPalette pal = title_->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Highlight).lighter(170));
    title_->setPalette(pal);
    title_->setContentsMargins(4, 1, 4, 1);
    QFont f = title_->font();
    f.setBold(true);
    title_->setFont(f);
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    l->addWidget(title_);
    view->setParent(this);
    l->addWidget(view, 1);
}

void CZTViewFrame::SetTitleVisible(bool visible) { title_->setVisible(visible); }

QString RtfPreviewText(const std::string& rtf) {
    if (rtf.compare(0, 5, "{\\rtf") != 0) return U(rtf);
    std::string out;
    zt::RtfTokenizer tok(rtf, 200);
    zt::RtfToken t;
    int skipDepth = -1;    // group depth below which everything is skipped
    bool starNext = false; // "\*" opens an ignorable destination
    int ucSkip = 0;
    size_t budget = 1 << 20;
    while (tok.Next(t) && out.size() < budget) {
        const int depth = tok.Depth();
        if (skipDepth >= 0) {
            if (t.type == zt::RtfTokenType::GroupClose && depth < skipDepth) skipDepth = -1;
            continue;
        }
        switch (t.type) {
        case zt::RtfTokenType::GroupOpen:
            starNext = false;
            break;
        case zt::RtfTokenType::Symbol:
            if (t.symbol == '*') skipDepth = depth;
            else if (t.symbol == '~') out += ' ';
            break;
        case zt::RtfTokenType::Word:
            if (SkippedDestination(t.word)) {
                skipDepth = depth;
            } else if (t.word == "par" || t.word == "line") {
                out += '\n';
            } else if (t.word == "tab") {
                out += '\t';
            } else if (t.word == "u" && t.hasParam) {
                zt::AppendUtf8(out, char32_t(t.param < 0 ? t.param + 65536 : t.param));
                ucSkip = 1;
                continue;
            }
            break;
        case zt::RtfTokenType::Text:
            for (char c : t.text) {
                if (ucSkip > 0) {
                    --ucSkip;
                    continue;
                }
                zt::AppendUtf8(out, zt::Cp1252ToUnicode(static_cast<unsigned char>(c)));
            }
            break;
        case zt::RtfTokenType::Hex:
            if (ucSkip > 0) {
                --ucSkip;
                break;
            }
            zt::AppendUtf8(out, zt::Cp1252ToUnicode(t.hex));
            break;
        default:
            break;
        }
        ucSkip = 0;
        (void)starNext;
    }
    return QString::fromStdString(out).trimmed();
}

CZTTextPlaceholder::CZTTextPlaceholder(CZTDocument& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
    setObjectName(QStringLiteral("textView"));
    browser_ = new QTextBrowser(this);
    browser_->setOpenLinks(false);
    browser_->setFocusPolicy(Qt::StrongFocus);
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(browser_);
    setFocusProxy(browser_);
}

void CZTTextPlaceholder::ShowPage(const CZTPageNode* page) {
    if (!page) {
        browser_->clear();
        return;
    }
    QString text = RtfPreviewText(doc_.PageText(page));
    QString html = QStringLiteral("<h3>%1</h3><p style=\"white-space: pre-wrap\">%2</p>")
                       .arg(U(page->Title()).toHtmlEscaped(), text.toHtmlEscaped());
    browser_->setHtml(html);
}

CZTFilesPlaceholder::CZTFilesPlaceholder(CZTDocument& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
    setObjectName(QStringLiteral("filesView"));
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setHeaderLabels({QStringLiteral("Dateiname"), QStringLiteral("Größe"), QStringLiteral("Zuletzt geändert"),
                            QStringLiteral("Erstellt am")});
    list_->setColumnWidth(0, 120);
    list_->setColumnWidth(1, 60);
    list_->setColumnWidth(2, 150);
    list_->setColumnWidth(3, 150);
    list_->header()->setStretchLastSection(false);
    list_->setSortingEnabled(true);
    list_->sortByColumn(0, Qt::AscendingOrder);
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(list_);
    setFocusProxy(list_);
}

void CZTFilesPlaceholder::ShowPage(const CZTPageNode* page) {
    list_->clear();
    if (!page) return;
    CZTArchive& a = doc_.Archive();
    const CZTNode* node = a.Core().Node(page->Ident());
    if (!node) return;
    for (const CZTFileEntry& f : node->files) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, U(f.name));
        item->setText(1, QString::number(f.uncompressedLength));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(2, FormatStamp(f.mtime));
        item->setText(3, FormatStamp(f.ctime));
        item->setTextAlignment(2, Qt::AlignCenter);
        item->setTextAlignment(3, Qt::AlignCenter);
    }
}

void CZTFilesPlaceholder::SelectFile(const QString& name) {
    const auto found = list_->findItems(name, Qt::MatchExactly, 0);
    if (!found.isEmpty()) {
        list_->clearSelection();
        list_->setCurrentItem(found.first());
        found.first()->setSelected(true);
    }
}

} // namespace zt::ui
