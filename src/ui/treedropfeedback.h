// What the tree shows while something is dragged over it: the entry under
// the pointer is highlighted as the drop target, the tree scrolls when the
// pointer rests near its top or bottom edge, and a collapsed entry opens when
// the pointer rests on it. Scrolling and opening happen at most every 200 ms.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QTimer>

#include <functional>

class QDragMoveEvent;

namespace zt::ui {

class CLeftView;

class CZTTreeDropFeedback : public QObject {
    Q_OBJECT
public:
    static constexpr int kStepMs = 200;       // scrolling and opening, at most this often
    static constexpr int kOpenAfterMs = 600;  // resting this long on an entry opens it

    // `accepts`: whether the tree takes this drag at all; only then is a
    // target shown.
    CZTTreeDropFeedback(CLeftView& tree, std::function<bool(const QDragMoveEvent&)> accepts);

    // The highlighted entry (invalid: none).
    QModelIndex Target() const { return target_; }
    // The height of the bands at the top and bottom edge where the tree scrolls.
    int EdgeBand() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Over(const QPoint& at, bool accepted);
    void Step();
    void End();
    void SetTarget(const QModelIndex& index);

    CLeftView& tree_;
    std::function<bool(const QDragMoveEvent&)> accepts_;
    QPersistentModelIndex target_;
    QPersistentModelIndex resting_; // the entry the pointer rests on
    QElapsedTimer restingSince_;
    QPoint at_;
    bool accepted_ = false;
    QTimer timer_;
};

} // namespace zt::ui
