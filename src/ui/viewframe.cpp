#include "ui/viewframe.h"

#include <QLabel>
#include <QVBoxLayout>

namespace zt::ui {

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

} // namespace zt::ui
