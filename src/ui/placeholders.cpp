#include "ui/placeholders.h"

#include <QHeaderView>
#include <QLabel>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/cp1252.h"
#include "core/document.h"
#include "core/pagepaths.h"
#include "exchange/rtfhtml/rtfconverter.h"
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

QString RtfPreviewText(const std::string& rtf) {
    if (rtf.compare(0, 5, "{\\rtf") != 0) return U(rtf);
    std::string text;
    if (!zt::RtfToText(rtf, zt::RtfTextMode::Utf8, text)) return {};
    return QString::fromStdString(text).trimmed();
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
    // The page text as the HTML converter renders it, read-only; pictures
    // are left out.
    const std::string rtf = doc_.PageText(page);
    std::string html;
    zt::RtfConverter converter;
    converter.Options().noAutoUrlDetect = true;
    if (rtf.compare(0, 5, "{\\rtf") == 0 && converter.RtfToHtml(rtf, html)) {
        browser_->setHtml(QString::fromStdString(html));
        return;
    }
    browser_->setPlainText(RtfPreviewText(rtf));
}

} // namespace zt::ui
