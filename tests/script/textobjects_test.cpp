// The text objects of scripts ("ztActivePage", "ZTRange") on the formatted
// page of the fixture: "plain bold italic" / "centred" / "indented".
//   positions: plain 0-5, bold 6-10, italic 11-17, centred 18-25, indented 26-34
#include "scriptfixture.h"

#include "text/qt/rtfdocument.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

struct Case {
    std::string source;
    std::string answer;
};

const std::string kPrelude =
    "var A = ztActivePage; ztDocument.GetPage('/Formatted').Activate();\n"
    "function all() { return A.GetText(A.Content()); }\n"
    "function R(s, e) { return new ZTRange(s, e); }\n";

const char* const kText = "plain bold italic\rcentred\rindented";

class TextObjects : public zt::test::ScriptDocument {
protected:
    void RunCases(const std::vector<Case>& cases, bool modifiable = true, bool readOnly = false) {
        for (const Case& c : cases) {
            SetUp();
            env->modifiable = modifiable;
            env->readOnly = readOnly;
            EXPECT_EQ(Answer(kPrelude + c.source), c.answer) << c.source;
        }
    }
    QTextDocument* Text() { return env->TextView()->Document(); }
    QTextCharFormat FormatAt(int pos) {
        QTextCursor c(Text());
        c.setPosition(pos + 1);
        return c.charFormat();
    }
};

TEST_F(TextObjects, RangesAndSelection) {
    RunCases({
        {"var r = R(5, 2); r.start + ',' + r.end", "2,5"},
        {"var r = ZTRange(-3); r.start + ',' + r.end", "-1,-1"},
        {"var r = R(); r.start + ',' + r.end + ' ' + (r instanceof ZTRange)", "0,0 true"},
        {"var r = R(4, -7); r.start + ',' + r.end", "4,-1"},
        {"var r = R(1, 2); r.start = 9; r.start", "1"},
        {"R('x')", "! ZTRange: Cannot get start value from args"},
        {"R(1, {})", "! ZTRange: Cannot get end value from args"},
        {"var c = A.Content(); c.start + ',' + c.end", "0,34"},
        {"all()", kText},
        {"A.GetText(R(6, 10))", "bold"},
        {"'[' + A.GetText() + ']'", "[]"},
        {"A.SetSelection(R(6, 10)); var s = A.GetSelection(); s.start + ',' + s.end + ' ' + A.GetText()", "6,10 bold"},
        {"A.SetSelection(); var s = A.GetSelection(); s.start + ',' + s.end", "0,34"},
        // A range argument is given back afterwards.
        {"A.SetSelection(R(1, 2)); A.GetText(R(6, 10)); var s = A.GetSelection(); s.start + ',' + s.end", "1,2"},
        {"A.GetText({})", "! ZTActivePage.GetText: Argument 1: Must be ZTRange object"},
        {"A.GetText({start: 1, end: 2})", "! ZTActivePage.GetText: Argument 1: Must be ZTRange object"},
        {"A.IsViewMode()", "false"},
        {"ztDocument.GetPage('/Beta').Activate(); var c = A.Content(); c.start + ',' + c.end", "0,0"},
        {"ztDocument.GetPage('/Formatted').DeletePage(); A.GetText()", "! ZTActivePage.GetText: No Page Active"},
        {"ztDocument.GetPage('/Formatted').DeletePage(); A.GetPage()", "! ZTActivePage.GetPage: No Page Active"},
        {"ztDocument.GetPage('/Formatted').DeletePage(); A.IsViewMode()", "true"},
    });
}

TEST_F(TextObjects, ChangingTheText) {
    zt::test::WriteFile(dir / "in.txt", "von Platte");
    zt::test::WriteFile(dir / "in.bin", std::string("\0\1\2\3\0\0\0\0\0\0\0\0\x7f\xff", 14));
    RunCases({
        {"A.SetText('X', R(0, 5)); all()", "X bold italic\rcentred\rindented"},
        {"A.SetText('a\\r\\nb', R(0, 5)); all()", "a\rb bold italic\rcentred\rindented"},
        {"A.SetText('\\u20ac\\u4e00', R(0, 5)); A.GetText(R(0, 2))", "\u20ac\u4e00"},
        {"A.SetText(5)", "! ZTActivePage.SetText: Argument 1: Must be string"},
        {"A.SetText('x', 5)", "! ZTActivePage.SetText: Argument 2: Must be ZTRange object"},
        {"A.SetText('X', R(0, 5)); ztDocument.IsModified() + ' ' + A.Undo() + ' ' + all()",
         std::string("true true ") + kText},
        {"A.Undo()", "false"},
        {"A.Copy(R(6, 10)); A.Paste(R(0, 5)); all()", "bold bold italic\rcentred\rindented"},
        {"A.Cut(R(0, 6)); A.SetSelection(R(4, 4)); A.Paste(); all()", "boldplain  italic\rcentred\rindented"},
        {"A.Import('$T/in.txt'); A.GetText(R(0, 10))", "von Platte"},
        {"A.Import('$T/in.bin')", "false"},
        {"A.Import('$T/in.bin', false, true) + ' ' + (all().length > 34)", "true true"},
        {"A.Import('$T/missing')", "false"},
        // Only regular files are read: no devices, pipes or directories.
        {"A.Import('/dev/zero') + ' ' + A.Import('/dev/zero', true) + ' ' + A.Import('$T')", "false false false"},
        {"A.Import()", "! ZTActivePage.Import: Argument 1: Must be string"},
        {"A.Import('$T/in.txt', Symbol())", "! ZTActivePage.Import: Argument 2: Must be boolean"},
    });
}

TEST_F(TextObjects, ChangesOfADocumentThatCannotBeChanged) {
    const std::vector<Case> cases = {
        {"A.SetText('x')", "! ZTActivePage.SetText: in ViewMode or not Modifiable"},
        {"A.Paste()", "! ZTActivePage.Paste: in ViewMode or not Modifiable."},
        {"A.SetFontBold()", "! ZTActivePage.SetFontBold: in ViewMode or not Modifiable."},
        {"A.SetFontItalic()", "! ZTActivePage.SetFontItalic: in ViewMode or not Modifiable."},
        {"A.SetFontName('Arial')", "! ZTActivePage.SetFontName: in ViewMode or not Modifiable."},
        {"A.SetFontSize(9)", "! ZTActivePage.SetFontSize: in ViewMode or not Modifiable."},
        {"A.SetParaJustification(2)", "! ZTActivePage.SetParaJustification: in ViewMode or not Modifiable."},
        {"A.SetParaIndent(2)", "! ZTActivePage.SetParaIndent: in ViewMode or not Modifiable."},
        {"A.Undo()", "! ZTActivePage.Undo: in ViewMode or not Modifiable."},
        {"A.Replace(R(0, -1), /a/g, 'b')", "! ZTActivePage.RegExp: No Page Active, not Modifiable or in ViewMode."},
        {"A.Import('$T/in.txt')", "! ZTActivePage.Import: No Page Active, not Modifiable or in ViewMode."},
        // Cut only copies; reading and matching work.
        {"A.Cut(R(0, 6)); A.Paste()", "! ZTActivePage.Paste: in ViewMode or not Modifiable."},
        {"A.Cut(R(0, 6)); all()", kText},
        {"A.Match(R(0, -1), /bold/)[0].start", "6"},
        {"A.GetFontBold(R(6, 10))", "1"},
    };
    zt::test::WriteFile(dir / "in.txt", "von Platte");
    RunCases(cases, false, false);
    RunCases(cases, true, true);
}

TEST_F(TextObjects, CharacterFormats) {
    RunCases({
        {"[A.GetFontBold(R(6, 10)), A.GetFontBold(R(0, 5)), A.GetFontBold(R(0, 10))].join()", "1,0,-1"},
        {"[A.GetFontItalic(R(11, 17)), A.GetFontUnderline(R(0, 5)), A.GetFontStrikeout(R(0, 34))].join()", "1,0,0"},
        {"A.GetFontName(R(0, 5)) + ' ' + A.GetFontSize(R(0, 5))", "Arial 12"},
        {"A.SetFontBold(true, R(0, 6)); A.GetFontBold(R(0, 10))", "1"},
        {"A.SetFontBold(false, R(6, 10)); A.GetFontBold(R(0, 17))", "0"},
        {"A.SetSelection(R(6, 10)); A.SetFontBold(false); A.GetFontBold()", "0"},
        {"A.SetSelection(R(1, 2)); A.SetFontBold(true, R(6, 17)); var s = A.GetSelection();"
         " s.start + ',' + s.end + ' ' + A.GetFontBold(R(6, 17))",
         "1,2 1"},
        // Nothing selected: the word at the caret.
        {"A.SetSelection(R(2, 2)); A.SetFontItalic(); A.GetFontItalic(R(0, 5)) + ' ' + A.GetFontItalic(R(6, 10))",
         "1 0"},
        {"A.SetFontUnderline(true, R(0, 5)); A.SetFontStrikeout(1, R(6, 10));"
         " [A.GetFontUnderline(R(0, 5)), A.GetFontStrikeout(R(6, 10)), A.GetFontUnderline(R(0, 10))].join()",
         "1,1,-1"},
        {"A.SetFontName('Courier New', R(0, 5)); A.GetFontName(R(0, 5)) + '|' + A.GetFontName(R(0, 10)) + '|'",
         "Courier New||"},
        {"A.SetFontSize(16, R(0, 5)); A.GetFontSize(R(0, 5)) + ' ' + A.GetFontSize(R(0, 10))", "16 -1"},
        {"A.SetFontSize(12, R(0, 5)); ztDocument.IsModified()", "false"},
        {"A.SetFontBold('x')", "! ZTActivePage.SetFontBold: Cannot get boolean argument."},
        {"A.SetFontItalic('x')", "! ZTActivePage.SetFontItalic: Cannot get one boolean argument."},
        {"A.SetFontUnderline({})", "! ZTActivePage.SetFontUnderline: Cannot get one boolean argument."},
        {"A.SetFontStrikeout('x')", "! ZTActivePage.SetFontStrikeout: Cannot get one boolean argument."},
        {"A.SetFontName(3)", "! ZTActivePage.SetFontName: Must have one string argument."},
        {"A.SetFontSize('x')", "! ZTActivePage.SetFontSize: Must have one number argument."},
        {"A.SetFontSize()", "! ZTActivePage.SetFontSize: Must have one number argument."},
        {"A.SetFontSize(10, 'x')", "! ZTActivePage.SetFontSize: Argument 2: Must be ZTRange object"},
    });
}

TEST_F(TextObjects, FormatsReachTheStoredText) {
    EXPECT_EQ(Answer(kPrelude + "A.SetFontBold(true, R(0, 34)); A.SetFontName('Symbol', R(0, 5));"
                                "A.SetFontName('symbol', R(6, 10)); A.SetFontSize(20.5, R(11, 17)); 'ok'"),
              "ok");
    // Every changed character carries the protection mark; the italic word
    // keeps its colour and its italics.
    const QTextCharFormat italic = FormatAt(12);
    EXPECT_TRUE(italic.fontItalic());
    EXPECT_EQ(italic.fontWeight(), QFont::Bold);
    EXPECT_EQ(italic.foreground().color(), QColor(255, 0, 0));
    EXPECT_DOUBLE_EQ(italic.fontPointSize(), 20.5);
    EXPECT_TRUE(italic.property(zt::textqt::kProtectedProperty).toBool());
    EXPECT_EQ(FormatAt(1).property(zt::textqt::kCharsetProperty).toInt(), 2);
    EXPECT_EQ(FormatAt(7).property(zt::textqt::kCharsetProperty).toInt(), 1);
    // Switching pages stores the text as RTF.
    EXPECT_EQ(Answer("ztDocument.GetPage('/Beta').Activate(); 1"), "1");
    const std::string rtf = doc.PageText(Page("/Formatted"));
    EXPECT_NE(rtf.find("\\b"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("\\fs41"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("Symbol"), std::string::npos) << rtf;
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(TextObjects, ParagraphFormats) {
    RunCases({
        {"[A.GetParaJustification(R(0, 5)), A.GetParaJustification(R(18, 25)), A.GetParaJustification(R(0, 25))]"
         ".join()",
         "1,3,-1"},
        {"A.SetParaJustification(2, R(0, 5)); A.GetParaJustification(R(2, 2))", "2"},
        {"A.SetParaJustification(7, R(18, 20)); A.GetParaJustification(R(18, 25))", "1"},
        {"A.SetParaJustification(3, R(3, 30)); A.GetParaJustification(R(0, 34))", "3"},
        {"[A.GetParaIndent(R(26, 30)), A.GetParaIndent(R(0, 5)), A.GetParaIndent(R(0, 30))].join()", "720,0,-1"},
        {"A.SetParaIndent(-5, R(26, 30)); A.GetParaIndent(R(26, 30))", "0"},
        {"A.SetParaIndent(360, R(0, 30)); A.GetParaIndent(R(0, 34))", "360"},
        {"A.SetParaJustification('x')", "! ZTActivePage.SetParaJustification: Must have one number argument."},
        {"A.SetParaIndent()", "! ZTActivePage.SetParaIndent: Must have one number argument."},
    });
}

TEST_F(TextObjects, RegularExpressionsOverTheSelection) {
    RunCases({
        {"A.Replace(R(0, -1), /e/g, 'E'); all()", "plain bold italic\rcEntrEd\rindEntEd"},
        {"typeof A.Replace(/e/g, 'E') + ' ' + all()", std::string("undefined ") + kText},
        {"A.Replace(R(6, 10), /o/, '0'); all()", "plain b0ld italic\rcentred\rindented"},
        {"A.Replace(R(0, -1), /(\\w+)ed/g, '[$1]'); all()", "plain bold italic\r[centr]\r[indent]"},
        {"A.Replace(R(0, -1), 'i', 'I'); all()", "plaIn bold italic\rcentred\rindented"},
        // Each replacement is an undoable change of its own.
        {"A.Replace(R(0, -1), /i/g, 'I'); A.Undo(); all()", "plaIn bold ItalIc\rcentred\rindented"},
        {"A.SetSelection(R(1, 3)); A.Replace(R(0, 17), /l/g, 'L'); var s = A.GetSelection();"
         " all() + ' ' + s.start + ',' + s.end",
         "pLain boLd itaLic\rcentred\rindented 15,15"},
        {"var m = A.Match(R(0, -1), /i\\w+/g); m.length + ' ' + m.map(function (r) { return r.start + '-' + r.end })"
         ".join()",
         "3 3-5,11-17,26-34"},
        {"var m = A.Match(R(6, 17), /b(o)ld/); m.length + ' ' + m[0].start + '-' + m[0].end + ' ' + m[1]", "2 6-10 o"},
        {"A.Match(R(0, -1), /xyz/g)", "null"},
        {"A.Match(/a/)", "null"},
        {"A.SetSelection(R(0, 34)); A.Match(/n/g).length", "4"},
        {"A.Match(R(0, -1))", "! "},
        {"A.Replace(R(0, -1), /x/g)", "! "},
        {"A.Replace(R(0, -1), /(?:)/g, '-'); A.GetText(R(0, 2))", "-p"},
    });
}

} // namespace
