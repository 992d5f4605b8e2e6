// The widgets inside the bars: the page bar's label and list box, the tips
// bar's text and buttons.
#pragma once

#include <QComboBox>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class CZTDocument;
class CZTPageNode;
class QLabel;
class QPushButton;
class QTimer;

namespace zt::ui {

// The page bar's list: in page mode one entry per page ("D:" before pages
// with files), in file mode one per attached file.
class CZTPageBarList : public QComboBox {
    Q_OBJECT
public:
    explicit CZTPageBarList(CZTDocument& doc, QWidget* parent = nullptr);

    // Opens the list in page mode (false) or file mode (true).
    void Open(bool files);
    // The current page became `page`.
    void ShowPage(const CZTPageNode* page);
    void Reset();
    bool FileMode() const { return fileMode_; }

    void showPopup() override;
    void hidePopup() override;

signals:
    // An entry was chosen: the page, and the file name for a file entry.
    void chosen(int32_t ident, const QString& file);

private:
    void Fill(bool files);
    CZTDocument& doc_;
    bool fileMode_ = false;
    bool filling_ = false;
    bool openAsFiles_ = false;
};

class CZTTipsBar : public QWidget {
    Q_OBJECT
public:
    explicit CZTTipsBar(int next, QWidget* parent = nullptr);
    // The index of the next tip (0..8).
    int NextTip() const { return next_; }
    static int TipCount();
    QString Text() const;
    void Step(int delta);
    void SetPaused(bool paused);
    bool Paused() const { return paused_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowTip(int index);
    QLabel* text_;
    QPushButton* pause_;
    QTimer* timer_;
    int next_;
    int shown_ = -1; // the welcome text
    bool paused_ = false;
};

} // namespace zt::ui
