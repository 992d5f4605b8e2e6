// The view frames with their title bars.
#pragma once

#include <QWidget>

class QLabel;

namespace zt::ui {

// A view with an optional title bar ("Baumansicht", "Textansicht",
// "Dateienansicht").
class CZTViewFrame : public QWidget {
    Q_OBJECT
public:
    CZTViewFrame(const QString& title, QWidget* view, QWidget* parent = nullptr);
    void SetTitleVisible(bool visible);
    QWidget* View() const { return view_; }

private:
    QLabel* title_;
    QWidget* view_;
};

} // namespace zt::ui
