#include "ui/treedropfeedback.h"

#include <QDragMoveEvent>
#include <QScrollBar>

#include <algorithm>

#include "ui/leftview.h"

namespace zt::ui {

CZTTreeDropFeedback::CZTTreeDropFeedback(CLeftView& tree, std::function<bool(const QDragMoveEvent&)> accepts)
    : QObject(&tree), tree_(tree), accepts_(std::move(accepts)) {
    timer_.setInterval(kStepMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
    // Installed after the drop handling, so it sees every event first and
    // passes each on.
    tree_.viewport()->installEventFilter(this);
}

int CZTTreeDropFeedback::EdgeBand() const {
    // About one entry high, but never more than a quarter of the view.
    const int row = std::max(tree_.fontMetrics().height() + 4, 12);
    return std::max(1, std::min(row, tree_.viewport()->height() / 4));
}

bool CZTTreeDropFeedback::eventFilter(QObject* watched, QEvent* event) {
    if (watched != tree_.viewport()) return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(event);
        Over(e->position().toPoint(), !accepts_ || accepts_(*e));
        break;
    }
    case QEvent::DragLeave:
    case QEvent::Drop:
        End(); // the drop itself may ask a question: the highlight is gone before
        break;
    default:
        break;
    }
    return false;
}

void CZTTreeDropFeedback::Over(const QPoint& at, bool accepted) {
    at_ = at;
    accepted_ = accepted;
    const QModelIndex index = tree_.indexAt(at);
    if (index != QModelIndex(resting_)) {
        resting_ = index;
        restingSince_.start();
    }
    SetTarget(accepted ? index : QModelIndex());
    if (!timer_.isActive()) timer_.start();
}

void CZTTreeDropFeedback::Step() {
    QScrollBar* bar = tree_.verticalScrollBar();
    const int band = EdgeBand();
    const int before = bar->value();
    if (at_.y() < band) bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (at_.y() >= tree_.viewport()->height() - band) bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (bar->value() != before) {
        // Another entry is under the resting pointer now.
        Over(at_, accepted_);
        return;
    }
    const QModelIndex index = resting_;
    if (accepted_ && index.isValid() && !tree_.isExpanded(index) && tree_.model()->hasChildren(index) &&
        restingSince_.elapsed() >= kOpenAfterMs) {
        tree_.expand(index);
        restingSince_.start();
    }
}

void CZTTreeDropFeedback::End() {
    timer_.stop();
    resting_ = QModelIndex();
    accepted_ = false;
    SetTarget({});
}

void CZTTreeDropFeedback::SetTarget(const QModelIndex& index) {
    if (index == QModelIndex(target_)) return;
    const QModelIndex old = target_;
    target_ = index;
    tree_.SetDropTarget(index);
    if (old.isValid()) tree_.viewport()->update(tree_.visualRect(old));
    if (index.isValid()) tree_.viewport()->update(tree_.visualRect(index));
}

} // namespace zt::ui
