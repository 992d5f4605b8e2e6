#include "base/xml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace zt::xml;

namespace {

const Node& Child(const Node& n, size_t i) {
    EXPECT_LT(i, n.children.size());
    return *n.children.at(i);
}

// The names and texts of a subtree in a compact form: a(#x,b(#y)).
std::string Shape(const Node& n) {
    std::string s = n.IsText() ? "#" + n.text : n.name;
    if (!n.children.empty()) {
        s += '(';
        for (size_t i = 0; i < n.children.size(); ++i) {
            if (i) s += ',';
            s += Shape(*n.children[i]);
        }
        s += ')';
    }
    return s;
}

std::string Shape(const Document& d) {
    return Shape(d.Root());
}

} // namespace

TEST(XmlTree, ImplicitClosingKeepsOrderAndMarksClosed) {
    Document d = Parse("<a>x<b>y</a>");
    EXPECT_EQ(Shape(d), "(a(#x,b(#y)))");
    const Node& a = Child(d.Root(), 0);
    const Node& b = Child(a, 1);
    EXPECT_TRUE(a.closed);
    EXPECT_FALSE(b.closed);
    EXPECT_TRUE(a.hasChildren);
    EXPECT_EQ(TextOf(a), "xy");
    // Numbered in the order made: a, "x", b, "y".
    EXPECT_EQ(a.number, 1u);
    EXPECT_EQ(Child(a, 0).number, 2u);
    EXPECT_EQ(b.number, 3u);
    EXPECT_EQ(Child(b, 0).number, 4u);
    EXPECT_EQ(d.NodeCount(), 4u);
    EXPECT_FALSE(d.LimitReached());
}

TEST(XmlTree, EndTags) {
    struct Case {
        const char* text;
        const char* shape;
        const char* closed; // one letter per element in creation order: c closed, o open
    };
    const Case cases[] = {
        {"<a><b></c></b></a>", "(a(b))", "cc"},        // end tag for nothing open is ignored
        {"<a><b><c></a>", "(a(b(c)))", "coo"},         // closes a, b and c stay open
        {"<A></a>", "(A)", "c"},                       // names match regardless of case
        {"<a><b/>t</a>", "(a(b,#t))", "cc"},           // empty element
        {"<a><b>", "(a(b))", "oo"},                    // truncated
        {"<e><a></a/>", "(e(a))", "oc"},               // "/>" in an end tag ends only that tag
        {"<e>< />", "(e)", "o"},                       // a nameless "/>" closes nothing
        {"<e></ e  x='1'>", "(e)", "c"},               // blanks and attributes in end tags
        {"<a><!-- <b> </a> -->x</a>", "(a(#x))", "c"}, // comments are skipped
        {"<a><!-- never ended </a>", "(a)", "o"},
        {"<a>1<b>2</b>3</a>", "(a(#1,b(#2),#3))", "cc"},
    };
    for (const auto& c : cases) {
        Document d = Parse(c.text);
        EXPECT_EQ(Shape(d), c.shape) << c.text;
        std::string closed;
        std::vector<const Node*> all;
        std::vector<const Node*> todo{&d.Root()};
        // Collect elements in creation order by walking and sorting by number.
        while (!todo.empty()) {
            const Node* n = todo.back();
            todo.pop_back();
            for (const Node* k : n->children) {
                if (!k->IsText()) all.push_back(k);
                todo.push_back(k);
            }
        }
        std::sort(all.begin(), all.end(), [](const Node* x, const Node* y) { return x->number < y->number; });
        for (const Node* n : all)
            closed += n->closed ? 'c' : 'o';
        EXPECT_EQ(closed, c.closed) << c.text;
    }
}

TEST(XmlTree, LineFeedTextsAndWhiteSpace) {
    EXPECT_EQ(Shape(Parse("<a>\n<b/>\r\n</a>")), "(a(b))");
    EXPECT_EQ(Shape(Parse("<a>\n <b/> </a>")), "(a(#\n ,b,# ))");
    EXPECT_EQ(Shape(Parse("<a>\n\n</a>")), "(a(#\n\n))");
    EXPECT_EQ(Shape(Parse("top<a/>")), "(#top,a)");
}

TEST(XmlTree, Attributes) {
    Document d = Parse("<a x y=1 z='p q' w=\"v w\" Y=2 u = \"s\" \"q\" t=un/quoted k=a&amp;b>");
    const Node& a = Child(d.Root(), 0);
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& at : a.attributes)
        got.push_back({at.name, at.value});
    std::vector<std::pair<std::string, std::string>> want = {{"x", ""},    {"y", "1"},         {"z", "p q"},
                                                             {"w", "v w"}, {"Y", "2"},         {"u", "s"},
                                                             {"q", ""},    {"t", "un/quoted"}, {"k", "a&b"}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(AttributeOf(a, "Y"), "1"); // the first of that name counts
    EXPECT_EQ(AttributeOf(a, "X"), "");
    EXPECT_EQ(AttributeOf(a, "missing"), "");
    EXPECT_FALSE(a.closed);
}

TEST(XmlTree, QuotedValuesEndAtTheTagEnd) {
    struct Case {
        const char* text;
        const char* value;
        const char* shape;
        bool closed;
    };
    const Case cases[] = {
        {"<a b=\"x>rest", "x", "(a(#rest))", false},
        {"<a b=\"x/>rest", "x", "(a,#rest)", true},
        {"<a b='x-->rest", "x", "(a(#rest))", false},
        {"<a b=x/>rest", "x", "(a,#rest)", true},
        {"<a b=x>rest", "x", "(a(#rest))", false},
        {"<a b=\"never ended", "never ended", "(a)", false},
        {"<a b=", "", "(a)", false},
    };
    for (const auto& c : cases) {
        Document d = Parse(c.text);
        EXPECT_EQ(Shape(d), c.shape) << c.text;
        const Node& a = Child(d.Root(), 0);
        EXPECT_EQ(AttributeOf(a, "b"), c.value) << c.text;
        EXPECT_EQ(a.closed, c.closed) << c.text;
    }
}

TEST(XmlTree, DeclarationHoldsTheRest) {
    Document d = Parse(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<XML_ZETTRIX VERSION=\"2\"><A>t</A></XML_ZETTRIX>");
    const Node& decl = Child(d.Root(), 0);
    ASSERT_EQ(decl.name, "?xml");
    ASSERT_EQ(decl.attributes.size(), 3u);
    EXPECT_EQ(decl.attributes[0].name, "version");
    EXPECT_EQ(decl.attributes[1].value, "ISO-8859-1");
    EXPECT_EQ(decl.attributes[2].name, "?");
    EXPECT_EQ(decl.attributes[2].value, "");
    EXPECT_FALSE(decl.closed);
    const Node& env = Child(decl, 0);
    EXPECT_EQ(PathOf(env), "?xml/XML_ZETTRIX");
    EXPECT_EQ(PathOf(Child(env, 0)), "?xml/XML_ZETTRIX/A");
    EXPECT_EQ(PathOf(d.Root()), "");
    EXPECT_EQ(VersionOf(env), 2);
}

TEST(XmlTree, MalformedTagsRecover) {
    struct Case {
        const char* text;
        const char* shape;
    };
    const Case cases[] = {
        {"<a = b>text</a>", "(a(#text))"},   // "=" without a name: the rest of the tag is skipped
        {"<a x <b>y</b></a>", "(a(b(#y)))"}, // "<" inside a tag starts the next tag
        {"<>x", "(#x)"},
        {"<a / b>x</a>", "(a(#x))"},
        {"<\"q\">x", "(#x)"},
        {"<a b=\"1\"=2>x</a>", "(a(#x))"},
        {"<<<<", ""},
        {"</</</", ""},
        {"<a\n\tb\r\n=\n'1'>", "(a)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Shape(Parse(c.text)), c.shape) << c.text;
}

TEST(XmlEntities, Decoding) {
    struct Case {
        const char* in;
        std::string out;
    };
    const Case cases[] = {
        {"&amp;&lt;&gt;&quot;&apos;", "&<>\"'"},
        {"a&nbsp;b", "ab"},
        {"&#228;", "\xC3\xA4"},
        {"&#xE4;&#XE4;", "\xC3\xA4\xC3\xA4"},
        {"&#65;&#0066;&#x43;", "ABC"},
        {"&#x7F;&#x80;&#x7FF;&#x800;&#xFFFF;&#x10000;",
         "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80"},
        {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
        {"&#x110000;", "&#x110000;"},
        {"&#99999999999999999999999;", "&#99999999999999999999999;"},
        {"&#12a;", "&#12a;"},
        {"&#;&#x;&#xg;", "&#;&#x;&#xg;"},
        {"&#65 ;", "&#65 ;"},
        {"&bogus;", "&bogus;"},
        {"&AMP;", "&AMP;"},
        {"&amp", "&amp"},
        {"&", "&"},
        {"a&&amp;b&", "a&&b&"},
        {"&amp;amp;", "&amp;"},
        {"&euro;", "\x80"},
        {"&alpha;&Omega;&thetasym;&sup1;&sup;", "alphaOmegathetasymsup1sup"},
        {"&Acirc;&acute;&emsp;&mdash;&hellip;", "\xB0"
                                                "A\xB4 --..."},
        {"&auml;&ouml;&uuml;&szlig;&Auml;&Ouml;&Uuml;", "\xE4\xF6\xFC\xDF\xC4\xD6\xDC"},
        {"&atilde;&Atilde;&uml;&copy;&para;&bdquo;", "a~A\xFC\xA9\xA7'"},
        {"&alefsym;&permil;&trade;&ge;&le;&ang;", "alefpmTM>=<=<"},
        {"&thetasymx;&;", "&thetasymx;&;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeEntities(c.in), c.out) << c.in;

    // Texts and attribute values are decoded, names are not.
    Document d = Parse("<a&amp; v='&lt;&#65;'>&gt;&#228;</a&amp;>");
    const Node& a = Child(d.Root(), 0);
    EXPECT_EQ(a.name, "a&amp;");
    EXPECT_TRUE(a.closed);
    EXPECT_EQ(AttributeOf(a, "v"), "<A");
    EXPECT_EQ(TextOf(a), ">\xC3\xA4");
}

TEST(XmlQueries, FindElementsByLevels) {
    Document d = Parse("<r><a i='1'/><b><A i='2'><a i='3'/></A></b>t<a i='4'/></r>");
    const Node& r = Child(d.Root(), 0);
    auto ids = [](const std::vector<const Node*>& v) {
        std::string s;
        for (const Node* n : v)
            s += AttributeOf(*n, "I");
        return s;
    };
    EXPECT_EQ(ids(FindElements(r, "a", 0)), "14");
    EXPECT_EQ(ids(FindElements(r, "a", 1)), "124");
    EXPECT_EQ(ids(FindElements(r, "a", 2)), "1234");
    EXPECT_EQ(ids(FindElements(r, "A", -1)), "1234");
    EXPECT_EQ(ids(FindElements(d.Root(), "a", -1)), "1234");
    EXPECT_TRUE(FindElements(r, "", -1).empty()); // text nodes are not elements
    EXPECT_TRUE(FindElements(r, "zz", -1).empty());
}

TEST(XmlQueries, TextOfCollectsAllCharacterData) {
    Document d = Parse("<a>1<b>2<c>3</c></b><d/>4</a>");
    const Node& a = Child(d.Root(), 0);
    EXPECT_EQ(TextOf(a), "1234");
    EXPECT_EQ(TextOf(Child(a, 2)), ""); // element without children
    EXPECT_EQ(TextOf(Child(a, 0)), "1");
    EXPECT_EQ(TextOf(d.Root()), "1234");
}

TEST(XmlQueries, VersionOf) {
    struct Case {
        const char* text;
        int version;
    };
    const Case cases[] = {
        {"<a version='3'/>", 3}, {"<a VERSION='3'/>", 3},   {"<a/>", 1},
        {"<a version=''/>", 1},  {"<a version/>", 1},       {"<a version=' 7x'/>", 7},
        {"<a version='x'/>", 0}, {"<a version='-2'/>", -2}, {"<a version='99999999999999'/>", INT_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VersionOf(Child(Parse(c.text).Root(), 0)), c.version) << c.text;
}

TEST(XmlQueries, IsEnvelopeRoot) {
    struct Case {
        const char* text;
        int expected;
        bool ok;
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\" encoding=\"Latin1\"?>\n<XML_ZETTRIX version=\"2\"><ANS "
         "VERSION=\"1\"/></XML_ZETTRIX>",
         2, true},
        {"<xml_zettrix version=\"2\"><ANS/></xml_zettrix>", 2, true},
        {"<?xml encoding=\" latin1\r\n\"?><XML_ZETTRIX version=\"2\"><ANS/></XML_ZETTRIX>", 2, true},
        {"<?xml version=\"1.0\"?><XML_ZETTRIX version=\"2\"><ANS/></XML_ZETTRIX>", 2, true},
        {"<XML_ZETTRIX><ANS/></XML_ZETTRIX>", 1, true},
        {"<XML_ZETTRIX><ANS/></XML_ZETTRIX>", 2, false},
        {"<XML_ZETTRIX version=\"2\"><ANS/>", 2, false},     // truncated
        {"<XML_ZETTRIX version=\"2\"><ANS/>< />", 2, false}, // a stray "/>" closes nothing
        {"<?xml encoding=\"UTF-8\"?><XML_ZETTRIX version=\"2\"><ANS/></XML_ZETTRIX>", 2, false},
        {"<x><XML_ZETTRIX version=\"2\"><ANS/></XML_ZETTRIX></x>", 2, false},
        {"<XML_ZETTRIX2 version=\"2\"><ANS/></XML_ZETTRIX2>", 2, false},
    };
    for (const auto& c : cases) {
        Document d = Parse(c.text);
        auto answers = FindElements(d.Root(), "ANS", -1);
        ASSERT_EQ(answers.size(), 1u) << c.text;
        EXPECT_EQ(IsEnvelopeRoot(d, answers[0], c.expected, true), c.ok) << c.text;
        EXPECT_EQ(IsEnvelopeRoot(d, answers[0]->parent, c.expected, false), c.ok) << c.text;
        // The answer element itself is no envelope root.
        EXPECT_FALSE(IsEnvelopeRoot(d, answers[0], c.expected, false)) << c.text;
    }
    Document d = Parse("<XML_ZETTRIX version='2'><ANS/></XML_ZETTRIX>");
    Document other = Parse("<XML_ZETTRIX version='2'><ANS/></XML_ZETTRIX>");
    const Node* ans = FindElements(d.Root(), "ans", -1).at(0);
    EXPECT_TRUE(IsEnvelopeRoot(d, ans, 2, true));
    EXPECT_FALSE(IsEnvelopeRoot(other, ans, 2, true)); // a node of another document
    EXPECT_FALSE(IsEnvelopeRoot(d, nullptr, 2, true));
    EXPECT_FALSE(IsEnvelopeRoot(d, &d.Root(), 2, false));
    EXPECT_FALSE(IsEnvelopeRoot(d, &d.Root(), 2, true));
    // Nodes stay valid when the document is moved.
    Document moved = std::move(d);
    EXPECT_TRUE(IsEnvelopeRoot(moved, ans, 2, true));
}

TEST(XmlHostile, DeepNestingStopsAtTheDepthLimit) {
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "<a>";
    Document d = Parse(text);
    EXPECT_TRUE(d.LimitReached());
    EXPECT_EQ(d.NodeCount(), Limits().maxDepth);
    // Closing tags that arrive after the limit change nothing.
    for (int i = 0; i < 1000000; ++i)
        text += "</a>";
    Document closedDoc = Parse(text);
    EXPECT_TRUE(closedDoc.LimitReached());
    EXPECT_FALSE(Child(closedDoc.Root(), 0).closed);
    // Within the limit the same shape parses completely.
    Limits wide;
    wide.maxDepth = 2000;
    std::string ok;
    for (int i = 0; i < 2000; ++i)
        ok += "<a>";
    for (int i = 0; i < 2000; ++i)
        ok += "</a>";
    Document full = Parse(ok, wide);
    EXPECT_FALSE(full.LimitReached());
    EXPECT_TRUE(Child(full.Root(), 0).closed);
    EXPECT_EQ(FindElements(full.Root(), "a", -1).size(), 2000u);
    EXPECT_EQ(PathOf(*FindElements(full.Root(), "a", -1).back()).size(), 2000u * 2 - 1);
}

TEST(XmlHostile, NodeAndSizeLimits) {
    Limits few;
    few.maxNodes = 100;
    std::string many = "<XML_ZETTRIX version='2'>";
    for (int i = 0; i < 1000; ++i)
        many += "<a x y z/>";
    many += "</XML_ZETTRIX>";
    Document d = Parse(many, few);
    EXPECT_TRUE(d.LimitReached());
    EXPECT_LE(d.NodeCount(), 100u);
    EXPECT_FALSE(Child(d.Root(), 0).closed); // the envelope is incomplete
    EXPECT_FALSE(IsEnvelopeRoot(d, &Child(d.Root(), 0), 2, false));
    EXPECT_FALSE(Parse(many).LimitReached());

    Limits small;
    small.maxDecodedBytes = 10;
    Document s = Parse("<a>0123456789</a><b>x</b>", small);
    EXPECT_TRUE(s.LimitReached());
    EXPECT_EQ(Shape(s), "(a(#0123456789),b)");
}

TEST(XmlHostile, HugeAndUnterminatedInputsFinish) {
    const size_t n = 1 << 20;
    auto repeat = [](std::string_view piece, size_t times) {
        std::string s;
        s.reserve(piece.size() * times);
        for (size_t i = 0; i < times; ++i)
            s += piece;
        return s;
    };
    // Entities: many of them, none terminated, very long numbers.
    EXPECT_EQ(TextOf(Parse("<a>" + repeat("&amp;", n) + "</a>").Root()), std::string(n, '&'));
    EXPECT_EQ(DecodeEntities(std::string(n, '&')), std::string(n, '&'));
    std::string longNumber = "&#" + std::string(n, '1');
    EXPECT_EQ(DecodeEntities(longNumber), longNumber);
    std::string longHex = repeat("&#x", n / 4);
    EXPECT_EQ(DecodeEntities(longHex), longHex);
    std::string nearNames = repeat("&thetasy", n / 8);
    EXPECT_EQ(DecodeEntities(nearNames), nearNames);

    // Unterminated constructs.
    const std::string inputs[] = {
        "<!--" + std::string(n, '-'),
        "<a b=\"" + std::string(n, 'x'),
        "<a" + std::string(n, ' '),
        std::string(n, '<'),
        repeat("</", n / 2),
        repeat("<a b", n / 4),
        repeat("<a b=", n / 5),
        repeat("=", n),
        repeat("</a>", n / 4),                      // end tags for nothing
        repeat("<a>", 200) + repeat("</b>", n / 4), // unmatched end tags under a deep stack
        repeat("<a/>", n / 4),
        repeat("<a x", n / 4),
    };
    for (const auto& text : inputs) {
        Document d = Parse(text);
        EXPECT_LE(d.NodeCount(), Limits().maxNodes) << text.substr(0, 12);
    }
    EXPECT_EQ(Parse(repeat("<a/>", n / 4)).NodeCount(), n / 4);
}
