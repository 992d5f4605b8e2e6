// The ruler above the text: indent markers and tab stops of the paragraph at
// the selection, dragged with the mouse.
#pragma once

#include <QWidget>

#include <vector>

namespace zt::ui {

class CZTRulerBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 26;

    explicit CZTRulerBar(QWidget* parent = nullptr);

    struct State {
        int start = 0, offset = 0, right = 0; // twips
        std::vector<int> tabs;                // twips, ascending
    };
    void SetState(const State& state);
    const State& GetState() const { return state_; }
    void SetTextWidth(int twips);
    int TextWidth() const { return textWidth_; }
    void SetUnit(int unit);
    void SetEditable(bool editable) { editable_ = editable; }
    // Pixel where twips 0 is drawn (the text's left inset).
    void SetOrigin(int px);

    // Mouse work in twips, reachable for tests: a press at a position (y from
    // the ruler's top); returns what was hit.
    enum class Hit { None, Left, FirstLine, Right, Tab, NewTab };
    Hit Press(int twips, int y);
    void Drag(int twips, int y);
    void Release();

    int Snap(int twips) const;
    int TwipsAt(int x) const;
    int XAt(int twips) const;

signals:
    // Released: start indent, offset, right indent and tabs for the selection.
    void indentsChanged(int start, int offset, int right, std::vector<int> tabs);
    void tabDialogRequested();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    int RightMarkerTwips() const { return textWidth_ - state_.right; }

    State state_;
    int textWidth_ = 9026;
    int unit_ = 1;
    int origin_ = 10;
    bool editable_ = true;
    Hit drag_ = Hit::None;
    int dragTab_ = -1;
    int grabDelta_ = 0; // left marker's lower square: first line moves along
    bool moveBoth_ = false;
};

} // namespace zt::ui
