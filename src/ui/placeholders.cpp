#include "ui/placeholders.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/cp1252.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "ui/treedialogs.h"

namespace zt::ui {

namespace {

QString U(const std::string& cp1252) { return QString::fromStdString(zt::Cp1252ToUtf8(cp1252)); }

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
