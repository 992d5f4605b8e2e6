// The form layout as a table: form trees with the control rectangles and the
// content size they must give. Metrics are chosen so that one dialog unit is
// one pixel; a character measures 5 x 10 pixels with a leading of 2.
#include <gtest/gtest.h>

#include <functional>

#include "script/forms/formlayout.h"
#include "script/forms/formstyle.h"

using namespace zt::forms;

namespace {

CZTFormMetrics TestMetrics() {
    CZTFormMetrics m;
    m.units = {4, 8};
    m.measureText = [](const QString& t) {
        return MeasureTextLines(t, [](const QString& l) { return int(l.size()) * 5; }, 10, 2);
    };
    m.pictureSize = [](const QString& p) -> std::optional<QSize> {
        if (p == QLatin1String("ok.png")) return QSize(32, 16);
        return std::nullopt;
    };
    return m;
}

std::unique_ptr<CZTFormNode> Node(CZTFormKind k) {
    auto n = std::make_unique<CZTFormNode>();
    n->kind = k;
    return n;
}
std::unique_ptr<CZTFormNode> Text(const char* v) {
    auto n = Node(CZTFormKind::Text);
    n->value = QString::fromUtf8(v);
    return n;
}
CZTFormNode* Attach(CZTFormNode& parent, int orientation, std::unique_ptr<CZTFormNode> child,
                    std::optional<int> gap = std::nullopt) {
    CZTFormNode* raw = child.get();
    parent.elements.push_back({orientation, gap, std::move(child)});
    return raw;
}

struct LayoutCase {
    const char* name;
    std::function<std::unique_ptr<CZTFormNode>()> build;
    int width, height;
    std::vector<CZTFormRect> controls;  // pre-order, origin (0, 0)
};

} // namespace

TEST(FormLayout, TableOfTrees) {
    const std::vector<LayoutCase> cases = {
        {"edit alone", [] { return Node(CZTFormKind::Edit); }, 150, 15, {{-75, 0, 75, 15}}},
        {"measured text", [] { return Text("Name:"); }, 25, 10, {{-13, 0, 12, 10}}},
        {"text with cx 40 keeps the measured height",
         [] { auto n = Text("Name:"); n->cx = 40; return n; }, 40, 10, {{-20, 0, 20, 10}}},
        {"line breaks of every kind",
         [] { return Text("a\r\nbcd\rX\n\nzz"); }, 15, 58, {{-8, 0, 7, 58}}},
        {"text without value", [] { return Node(CZTFormKind::Text); }, 10, 10, {{-5, 0, 5, 10}}},
        {"edit with a text to its right, centred",
         [] {
             auto e = Node(CZTFormKind::Edit);
             Attach(*e, RightCenter, Text("Name:"));
             return e;
         },
         180, 15, {{-90, 0, 60, 15}, {65, 2, 90, 12}}},
        {"bottomLeft with a gap widens to the right",
         [] {
             auto b = Node(CZTFormKind::Button);
             Attach(*b, BottomLeft, Node(CZTFormKind::Edit), 2);
             return b;
         },
         150, 31, {{-75, 0, -25, 14}, {-75, 16, 75, 31}}},
        {"leftTop with a taller list grows downward",
         [] {
             auto b = Node(CZTFormKind::Button);
             auto l = Node(CZTFormKind::Listbox);
             l->cy = 40;
             Attach(*b, LeftTop, std::move(l));
             return b;
         },
         105, 40, {{2, 0, 52, 14}, {-53, 0, -3, 40}}},
        {"nested offsets: a button row above a text",
         [] {
             auto t = Text("AB");
             CZTFormNode* b = Attach(*t, TopCenter, Node(CZTFormKind::Button));
             Attach(*b, RightTop, Node(CZTFormKind::Edit));
             return t;
         },
         205, 31, {{-5, 21, 5, 31}, {-103, 0, -53, 14}, {-48, 0, 102, 15}}},
        {"drop-down combo: cy is the list, the box stays 14",
         [] {
             auto c = Node(CZTFormKind::Combo);
             c->flags = {"dropdownlist"};
             c->cy = 80;
             return c;
         },
         50, 14, {{-25, 0, 25, 14}}},
        {"simple combo takes cy",
         [] { auto c = Node(CZTFormKind::Combo); c->cy = 40; return c; }, 50, 40, {{-25, 0, 25, 40}}},
        {"picture that loads, cx given",
         [] { auto p = Node(CZTFormKind::Picture); p->value = QStringLiteral("ok.png"); p->cx = 10; return p; },
         10, 16, {{-5, 0, 5, 16}}},
        {"picture that does not load",
         [] { auto p = Node(CZTFormKind::Picture); p->value = QStringLiteral("missing.png"); return p; },
         100, 20, {{-50, 0, 50, 20}}},
    };
    const CZTFormMetrics m = TestMetrics();
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto root = c.build();
        const CZTFormLayout l = LayoutForm(*root, m);
        ASSERT_FALSE(l.failed);
        EXPECT_EQ(l.width, c.width);
        EXPECT_EQ(l.height, c.height);
        ASSERT_EQ(l.records.size(), c.controls.size());
        for (size_t i = 0; i < c.controls.size(); ++i) {
            const CZTFormRect r = l.ControlRect(i, 0, 0);
            EXPECT_EQ(r, c.controls[i]) << "record " << i << ": " << r.left << "," << r.top << ","
                                        << r.right << "," << r.bottom;
        }
    }
}

TEST(FormLayout, FailsOnUnknownFormsAndBeyond1001Records) {
    const CZTFormMetrics m = TestMetrics();
    auto root = Node(CZTFormKind::Edit);
    Attach(*root, BottomCenter, Node(CZTFormKind::Unknown));
    EXPECT_TRUE(LayoutForm(*root, m).failed);

    // A chain of exactly 1001 forms lays out; one more fails.
    auto chain = [](int count) {
        auto r = Node(CZTFormKind::Button);
        CZTFormNode* last = r.get();
        for (int i = 1; i < count; ++i) last = Attach(*last, RightTop, Node(CZTFormKind::Button), 0);
        return r;
    };
    auto ok = chain(1001);
    const CZTFormLayout l = LayoutForm(*ok, m);
    EXPECT_FALSE(l.failed);
    EXPECT_EQ(l.records.size(), 1001u);
    auto tooMany = chain(1002);
    EXPECT_TRUE(LayoutForm(*tooMany, m).failed);

    // So does a wide tree of siblings.
    auto wide = Node(CZTFormKind::Edit);
    for (int i = 0; i < 1001; ++i) Attach(*wide, BottomCenter, Node(CZTFormKind::Button));
    EXPECT_TRUE(LayoutForm(*wide, m).failed);
}

TEST(FormLayout, DialogGeometry) {
    const CZTFormMetrics m = TestMetrics();
    auto button = Node(CZTFormKind::Button);
    CZTFormDialogGeometry g = DialogGeometry(LayoutForm(*button, m), m.units);
    EXPECT_EQ(g.clientWidth, 115);  // never narrower than 115 dialog units
    EXPECT_EQ(g.clientHeight, 14 + 23 + 6);
    EXPECT_EQ(g.ok, (CZTFormRect{5, 26, 55, 40}));
    EXPECT_EQ(g.cancel, (CZTFormRect{60, 26, 110, 40}));
    EXPECT_EQ(g.originX, 57);
    EXPECT_EQ(g.originY, 6);

    auto edit = Node(CZTFormKind::Edit);
    g = DialogGeometry(LayoutForm(*edit, m), m.units);
    EXPECT_EQ(g.clientWidth, 160);

    // Real fonts: 7 x 16 pixel characters make 4 dialog units 7 pixels.
    const CZTDialogUnits u{7, 16};
    EXPECT_EQ(u.X(50), 88);  // 87.5 rounds up
    EXPECT_EQ(u.Y(14), 28);
    EXPECT_EQ(u.X(0), 0);
}

TEST(FormLayout, ShortenedItemsAndEditText) {
    auto extent = [](const QString& s) { return int(s.size()) * 5; };
    const QString item = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
    EXPECT_EQ(ShortenItem(item, 152, extent), QStringLiteral("ABCDEFG...OPQRSTUVWXYZ0123"));
    EXPECT_EQ(ShortenItem(item, 1000, extent), item);
    // Under 18 characters an item stays whole however narrow the box.
    EXPECT_EQ(ShortenItem(QStringLiteral("ABCDEFGHIJKLMNOPQ"), 10, extent), QStringLiteral("ABCDEFGHIJKLMNOPQ"));
    const QString tiny = ShortenItem(item, 0, extent);
    EXPECT_LT(tiny.size(), 18);
    EXPECT_TRUE(tiny.contains(QLatin1String("...")));

    EXPECT_EQ(EditFieldText(QStringLiteral("a\r\nb\rc\nd\be")), QStringLiteral("a\r\nb\r\nc\r\nd\r\ne"));
}

TEST(FormLayout, StylesFromKeywords) {
    CZTFormNode b;
    b.kind = CZTFormKind::Button;
    EXPECT_EQ(StyleOf(b).button, CZTButtonKind::Push);
    EXPECT_TRUE(StyleOf(b).tabStop);
    b.flags = {"autocheckbox", "notabstop", "group", "lefttext"};
    CZTControlStyle s = StyleOf(b);
    EXPECT_EQ(s.button, CZTButtonKind::CheckBox);
    EXPECT_FALSE(s.tabStop);
    EXPECT_TRUE(s.group);
    EXPECT_TRUE(s.leftText);
    b.flags = {"autoradio", "autocheckbox"};
    EXPECT_EQ(StyleOf(b).button, CZTButtonKind::AutoRadio);
    b.flags = {"auto3state", "autoradio"};
    EXPECT_EQ(StyleOf(b).button, CZTButtonKind::ThreeState);

    CZTFormNode e;
    e.kind = CZTFormKind::Edit;
    s = StyleOf(e);
    EXPECT_TRUE(s.autoHScroll);
    EXPECT_FALSE(s.multiline);
    e.flags = {"multiline", "password", "readonly", "noautohscroll", "uppercase", "center"};
    s = StyleOf(e);
    EXPECT_TRUE(s.multiline && s.password && s.readOnly);
    EXPECT_FALSE(s.autoHScroll);
    EXPECT_EQ(s.letterCase, CZTLetterCase::Upper);
    EXPECT_EQ(s.align, CZTAlign::Center);

    CZTFormNode t;
    t.kind = CZTFormKind::Text;
    s = StyleOf(t);
    EXPECT_FALSE(s.mnemonic);
    EXPECT_TRUE(s.wordWrap);
    t.flags = {"prefix", "leftnowordwrap", "right", "vcenter"};
    s = StyleOf(t);
    EXPECT_TRUE(s.mnemonic && s.vcenter);
    EXPECT_FALSE(s.wordWrap);
    EXPECT_EQ(s.align, CZTAlign::Right);

    CZTFormNode c;
    c.kind = CZTFormKind::Combo;
    EXPECT_EQ(StyleOf(c).combo, CZTComboKind::Simple);
    c.flags = {"dropdown", "sort"};
    EXPECT_EQ(StyleOf(c).combo, CZTComboKind::DropDown);
    EXPECT_TRUE(StyleOf(c).sort);
    c.flags = {"dropdown", "dropdownlist"};
    EXPECT_EQ(StyleOf(c).combo, CZTComboKind::DropDownList);
}
