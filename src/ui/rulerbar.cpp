#include "ui/rulerbar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "ui/tabdialog.h"
#include "ui/textformat.h"

namespace zt::ui {

namespace {
constexpr double kTwipsPerPixel = 15.0;
constexpr int kMarkerHalf = 5;      // pixels
constexpr int kHitTwips = 6 * 15;   // hit distance
} // namespace

CZTRulerBar::CZTRulerBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("rulerBar"));
    setFixedHeight(kHeight);
    setAutoFillBackground(true);
}

void CZTRulerBar::SetState(const State& state) {
    if (drag_ != Hit::None) return; // the user is dragging
    state_ = state;
    update();
}

void CZTRulerBar::SetTextWidth(int twips) {
    textWidth_ = std::max(720, twips);
    update();
}

void CZTRulerBar::SetUnit(int unit) {
    unit_ = unit;
    update();
}

void CZTRulerBar::SetOrigin(int px) {
    origin_ = px;
    update();
}

int CZTRulerBar::Snap(int twips) const {
    const int s = CZTRulerUnit::Of(unit_).snap;
    return int(std::lround(double(twips) / s)) * s;
}

int CZTRulerBar::TwipsAt(int x) const { return int(std::lround((x - origin_) * kTwipsPerPixel)); }
int CZTRulerBar::XAt(int twips) const { return origin_ + int(std::lround(twips / kTwipsPerPixel)); }

CZTRulerBar::Hit CZTRulerBar::Press(int twips, int y) {
    drag_ = Hit::None;
    moveBoth_ = false;
    const int left = state_.start + state_.offset;
    const int lowerTop = kHeight - 7;
    if (std::abs(twips - left) <= kHitTwips && y >= kHeight / 2) {
        drag_ = Hit::Left;
        moveBoth_ = y >= lowerTop; // the lower square moves both markers
        grabDelta_ = state_.start - left;
    } else if (std::abs(twips - state_.start) <= kHitTwips && y < kHeight / 2) {
        drag_ = Hit::FirstLine;
    } else if (std::abs(twips - RightMarkerTwips()) <= kHitTwips && y >= kHeight / 2) {
        drag_ = Hit::Right;
    } else {
        for (size_t i = 0; i < state_.tabs.size(); ++i)
            if (std::abs(twips - state_.tabs[i]) <= kHitTwips) {
                drag_ = Hit::Tab;
                dragTab_ = int(i);
                break;
            }
        if (drag_ == Hit::None && twips > 0 && twips < RightMarkerTwips() && y >= 2 && y <= 17) {
            if (state_.tabs.size() >= size_t(kMaxTabStops)) return Hit::None;
            state_.tabs.push_back(Snap(twips));
            dragTab_ = int(state_.tabs.size() - 1);
            drag_ = Hit::Tab;
            update();
            return Hit::NewTab;
        }
    }
    return drag_;
}

void CZTRulerBar::Drag(int twips, int y) {
    const int t = Snap(twips);
    const int rightMarker = RightMarkerTwips();
    switch (drag_) {
    case Hit::None: return;
    case Hit::Left: {
        const int left = std::clamp(t, 0, rightMarker);
        if (moveBoth_) {
            const int first = std::clamp(left + grabDelta_, 0, rightMarker);
            state_.start = first;
            state_.offset = left - first;
        } else {
            state_.offset = left - state_.start;
        }
        break;
    }
    case Hit::FirstLine: {
        const int left = state_.start + state_.offset;
        state_.start = std::clamp(t, 0, rightMarker);
        state_.offset = left - state_.start;
        break;
    }
    case Hit::Right: {
        const int lo = std::max(state_.start, state_.start + state_.offset);
        state_.right = textWidth_ - std::clamp(t, lo, textWidth_);
        break;
    }
    case Hit::Tab:
    case Hit::NewTab:
        if (dragTab_ >= 0 && size_t(dragTab_) < state_.tabs.size())
            state_.tabs[size_t(dragTab_)] = (y < -8 || y > kHeight + 8) ? 0 : std::clamp(t, 0, textWidth_);
        break;
    }
    update();
}

void CZTRulerBar::Release() {
    if (drag_ == Hit::None) return;
    drag_ = Hit::None;
    std::vector<int> tabs = state_.tabs;
    std::sort(tabs.begin(), tabs.end());
    tabs.erase(std::unique(tabs.begin(), tabs.end()), tabs.end());
    tabs.erase(std::remove(tabs.begin(), tabs.end(), 0), tabs.end());
    state_.tabs = tabs;
    update();
    emit indentsChanged(state_.start, state_.offset, state_.right, tabs);
}

void CZTRulerBar::mousePressEvent(QMouseEvent* e) {
    if (!editable_) return;
    if (e->button() == Qt::RightButton) {
        emit tabDialogRequested();
        return;
    }
    if (e->button() == Qt::LeftButton) Press(TwipsAt(int(e->position().x())), int(e->position().y()));
}

void CZTRulerBar::mouseMoveEvent(QMouseEvent* e) {
    if (drag_ != Hit::None) Drag(TwipsAt(int(e->position().x())), int(e->position().y()));
}

void CZTRulerBar::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) Release();
}

void CZTRulerBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Window));
    // The white band of the text width.
    const QRect band(XAt(0), 3, XAt(textWidth_) - XAt(0), kHeight - 8);
    p.fillRect(band, pal.color(QPalette::Base));
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(band.adjusted(0, 0, -1, -1));
    const CZTRulerUnit& u = CZTRulerUnit::Of(unit_);
    QFont f = font();
    f.setPixelSize(9);
    p.setFont(f);
    p.setPen(pal.color(QPalette::WindowText));
    for (int t = u.smallTick; t < textWidth_; t += u.smallTick) {
        const int x = XAt(t);
        if (t % u.numberEvery == 0) {
            const QString n = QString::number(t / u.numberEvery);
            const int w = p.fontMetrics().horizontalAdvance(n);
            p.drawText(x - w / 2, band.center().y() + 4, n);
        } else if (t % u.mediumTick == 0) {
            p.drawLine(x, band.center().y() - 3, x, band.center().y() + 3);
        } else {
            p.drawLine(x, band.center().y() - 1, x, band.center().y() + 1);
        }
    }
    // Default tab ticks every 720 twips after the last tab stop.
    const int lastTab = state_.tabs.empty() ? 0 : state_.tabs.back();
    p.setPen(pal.color(QPalette::Mid));
    for (int t = (lastTab / 720 + 1) * 720; t < textWidth_; t += 720) p.drawLine(XAt(t), band.bottom(), XAt(t), band.bottom() + 2);
    // Tab stops: an "L".
    p.setPen(QPen(pal.color(QPalette::WindowText), 2));
    for (int t : state_.tabs) {
        if (t <= 0) continue;
        const int x = XAt(t);
        p.drawLine(x, band.top() + 4, x, band.bottom() - 4);
        p.drawLine(x, band.bottom() - 4, x + 5, band.bottom() - 4);
    }
    // Markers: first line (down triangle at the top), left (up triangle with
    // a square below), right (up triangle).
    p.setPen(pal.color(QPalette::WindowText));
    p.setBrush(pal.color(QPalette::Button));
    auto triangle = [&](int x, int y, bool down) {
        QPainterPath path;
        const int h = 6;
        if (down) {
            path.moveTo(x - kMarkerHalf, y);
            path.lineTo(x + kMarkerHalf, y);
            path.lineTo(x, y + h);
        } else {
            path.moveTo(x - kMarkerHalf, y + h);
            path.lineTo(x + kMarkerHalf, y + h);
            path.lineTo(x, y);
        }
        path.closeSubpath();
        p.drawPath(path);
    };
    triangle(XAt(state_.start), 0, true);
    const int lx = XAt(state_.start + state_.offset);
    triangle(lx, kHeight - 14, false);
    p.drawRect(lx - kMarkerHalf, kHeight - 7, 2 * kMarkerHalf, 6);
    triangle(XAt(RightMarkerTwips()), kHeight - 14, false);
}

} // namespace zt::ui
