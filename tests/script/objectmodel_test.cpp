// The document objects of scripts ("ztDocument", "ZTPage", "ZTFile") against
// the fixture document: each case a small script with its answer.
#include "scriptfixture.h"

#include "base/cp1252.h"
#include "exchange/zip.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;

struct Case {
    std::string source;
    std::string answer;
};

// The tree as link paths, for the scripts.
const std::string kPrelude =
    "function tree() { return ztDocument.GetPagesSubtree().join(' '); }\n"
    "function P(path) { return ztDocument.GetPage(path); }\n";

class ObjectModel : public zt::test::ScriptDocument {
protected:
    void RunCases(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            // Every case starts from the fixture.
            TearDownFixture();
            SetUp();
            EXPECT_EQ(Answer(kPrelude + c.source), c.answer) << c.source;
        }
    }
    void TearDownFixture() {
        host.SetEnvironment(nullptr);
        env.reset();
    }
};

const char* const kTree = "/Alpha /Alpha/A1 /Alpha/A2 /Alpha/A2/Deep /Beta /Gamma+v1%2E0 /Formatted";

TEST_F(ObjectModel, WalkingTheTree) {
    RunCases({
        {"P().title", "Alpha"},
        {"tree()", kTree},
        {"var p = P(), t = []; while (p) { t.push(p.title); p = p.GetNext(); } t.join()",
         "Alpha,A1,A2,Deep,Beta,Gamma v1.0,Formatted"},
        {"var p = P('/Formatted'), t = []; while (p) { t.push(p.title); p = p.GetPrevious(); } t.join()",
         "Formatted,Gamma v1.0,Beta,Deep,A2,A1,Alpha"},
        {"P('/Alpha/A2').GetChild().fullName", "/Alpha/A2/Deep"},
        {"P('/Alpha/A2/Deep').GetParent().GetParent().title", "Alpha"},
        {"typeof P('/Beta').GetParent() + typeof P('/Beta').GetChild() + typeof P('/Formatted').GetNext()",
         "undefinedundefinedundefined"},
        {"P('/Alpha/A1').GetSibling().title + typeof P('/Alpha/A2').GetSibling()", "A2undefined"},
        {"P('/Gamma+v1%2E0').title + '|' + P('/Gamma+v1%2E0').fullName", "Gamma v1.0|/Gamma+v1%2E0"},
        // Relative paths start at the current page (the first page).
        {"P('A2').fullName + ' ' + P('../Beta').fullName + ' ' + P('A2/Deep/..').title", "/Alpha/A2 /Beta A2"},
        {"ztDocument.GetPagesSubtree('/Alpha/A2').join(' ')", "/Alpha/A2 /Alpha/A2/Deep"},
        {"ztDocument.GetPagesSubtree(P('/Beta')).join(' ')", "/Beta"},
        {"P('/Alpha').ident == P('/Alpha').GetChild().GetParent().ident", "true"},
        {"P('/Alpha').GetSibling().ident = 99; P('/Alpha').GetSibling().title", "Beta"},
        {"ztActivePage.GetPage().title", "Alpha"},
        {"P('/Beta').Activate(); ztActivePage.GetPage().title + ' ' + P('Gamma+v1%2E0')",
         "! ZTPage: Page not found 'Gamma+v1%2E0'"},
        {"P('/Beta').Activate(); ztActivePage.GetPage().title + ' ' + P('../Gamma+v1%2E0').title",
         "Beta Gamma v1.0"},
        {"P('/Nope')", "! ZTPage: Page not found '/Nope'"},
        {"P('/Alpha/A3')", "! ZTPage: Page not found '/Alpha/A3'"},
        {"ztDocument.GetPagesSubtree('/Nope')", "! ZTDocument.GetPagesSubtree: Page not found '/Nope'"},
        {"ztDocument.GetPagesSubtree({})", "! ZTDocument.GetPagesSubtree: Cannot get argument string"},
        {"P('/Beta').GetNext.call({})", "! ZTPage.GetNext: Cannot get ident property"},
        {"P('/Beta').GetNext.call({ident: 0})", "! ZTPage.GetNext: Ident property with miss value"},
        {"P('/Beta').GetNext.call({ident: 'x'})", "! ZTPage.GetNext: Ident property with miss value"},
        {"P('/Beta').GetNext.call({ident: 4711})", "! ZTPage.GetNext: Page not found."},
        {"try { P('/Nope') } catch (e) { 'caught: ' + e }", "caught: t.js:2: ZTPage: Page not found '/Nope'\n"},
    });
}

TEST_F(ObjectModel, DocumentProperties) {
    RunCases({
        {"[ztDocument.IsRemote(), ztDocument.IsModifiable(), ztDocument.IsModified()].join()", "false,true,false"},
        {"[ztDocument.SetModified(), ztDocument.IsModified(), ztDocument.SetModified(false)].join()",
         "true,true,false"},
        {"ztDocument.SetModified(Symbol())", "! ZTDocument.SetModified: Cannot get boolean argument."},
        {"'[' + ztDocument.GetPath() + ']'", "[]"},
        {"typeof ztDocument.GetTitle()", "string"},
        {"ztDocument.Load()", "! ZTDocument.Load: Must have argument string"},
        {"ztDocument.Load('$T/missing.ztd') + ' ' + tree()", std::string("false ") + kTree},
        {"ztDocument.Save()", "false"},
        {"ztDocument.New() + ' ' + tree()", "true /Neuer+Eintrag"},
        {"ztDocument.ImportPage()", "! ZTDocument.ImportPage: Must have string argument."},
        {"ztDocument.ExportPage()", "! ZTDocument.ExportPage: Must have a string argument."},
        {"ztDocument.ExportHTML()", "! ZTDocument.ExportHTML: Must have string argument."},
    });
}

TEST_F(ObjectModel, CreatingPages) {
    RunCases({
        {"P('/Beta').NewPage(true, 'Kind').fullName + ' ' + ztDocument.IsModified()", "/Beta/Kind true"},
        {"P('/Beta').NewPage(); tree()",
         "/Alpha /Alpha/A1 /Alpha/A2 /Alpha/A2/Deep /Beta /Neuer+Eintrag /Gamma+v1%2E0 /Formatted"},
        {"P('/Alpha').NewPage(true, 'Erst'); P('/Alpha').GetChild().title", "Erst"},
        {"ztDocument.NewPage().fullName", "/Neuer+Eintrag"},
        {"ztDocument.NewPage(); P('/Formatted').GetSibling().title", "Neuer Eintrag"},
        {"ztDocument.NewPage(true, 'First'); P().title", "First"},
        {"ztDocument.NewPage(P('/Beta'), true, 'X').fullName", "/Beta/X"},
        {"ztDocument.NewPage(P('/Beta'), false, 'Nach').fullName + ' ' + P('/Beta').GetSibling().title",
         "/Nach Nach"},
        {"ztDocument.NewPage(false, 'Gr\\u00f6\\u00dfe \\u20ac').title", "Gr\u00f6\u00dfe \u20ac"},
        // The new page is not selected.
        {"P('/Beta').NewPage(true); ztActivePage.GetPage().title", "Alpha"},
    });
}

TEST_F(ObjectModel, MovingPages) {
    RunCases({
        // Alone to the end of the root level; the children stay where it was.
        {"P('/Alpha/A2').MovePage(); tree()",
         "/Alpha /Alpha/A1 /Alpha/Deep /Beta /Gamma+v1%2E0 /Formatted /A2"},
        {"P('/Alpha/A2').MovePage(P('/Beta'), true, true); tree()",
         "/Alpha /Alpha/A1 /Beta /Beta/A2 /Beta/A2/Deep /Gamma+v1%2E0 /Formatted"},
        {"P('/Alpha/A2').MovePage(P('/Beta')); tree()",
         "/Alpha /Alpha/A1 /Alpha/Deep /Beta /A2 /Gamma+v1%2E0 /Formatted"},
        {"P('/Alpha/A2').MovePage(P('/Beta'), false, true); tree()",
         "/Alpha /Alpha/A1 /Beta /A2 /A2/Deep /Gamma+v1%2E0 /Formatted"},
        {"P('/Formatted').MovePage(true); tree()",
         "/Formatted /Alpha /Alpha/A1 /Alpha/A2 /Alpha/A2/Deep /Beta /Gamma+v1%2E0"},
        {"P('/Alpha').MovePage(false, true); tree()",
         "/Beta /Gamma+v1%2E0 /Formatted /Alpha /Alpha/A1 /Alpha/A2 /Alpha/A2/Deep"},
        {"var p = P('/Beta'); (p.MovePage(P('/Alpha/A1')) === p) + ' ' + p.fullName + ' ' + ztDocument.IsModified()",
         "true /Alpha/Beta true"},
        // Alone below one of its own descendants: the children first take
        // its place. With the subtree that cannot be, and nothing moves.
        {"P('/Alpha').MovePage(P('/Alpha/A2/Deep'), true); tree()",
         "/A1 /A2 /A2/Deep /A2/Deep/Alpha /Beta /Gamma+v1%2E0 /Formatted"},
        {"P('/Alpha').MovePage(P('/Alpha/A1')); tree()",
         "/A1 /Alpha /A2 /A2/Deep /Beta /Gamma+v1%2E0 /Formatted"},
        {"P('/Alpha').MovePage(P('/Alpha/A2/Deep'), true, true)",
         "! warning: ZTPage.MovePage: Target page lies in the page's subtree."},
        {"P('/Beta').MovePage(P('/Beta')); tree()", kTree},
        {"P('/Alpha/A2').MovePage('x')", "! warning: ZTPage.MovePage: Argument 0: Must be boolean or ZTPage."},
        {"P('/Alpha/A2').MovePage(P('/Beta'), {})",
         "! warning: ZTPage.MovePage: Argument 1: Must be boolean or ZTPage."},
        {"P('/Alpha/A2').MovePage(P('/Beta'), true, 'x')", "! warning: ZTPage.MovePage: Argument 2: Must be boolean."},
        {"P('/Alpha/A2').MovePage(P('/Beta').GetNext.call({ident: 4711}))", "! ZTPage.GetNext: Page not found."},
    });
}

TEST_F(ObjectModel, CopyingAndDeletingPages) {
    RunCases({
        {"P('/Beta').CopyPage(P('/Alpha/A1')).fullName + ' ' + tree()",
         "/Alpha/Beta /Alpha /Alpha/A1 /Alpha/Beta /Alpha/A2 /Alpha/A2/Deep /Beta /Gamma+v1%2E0 /Formatted"},
        {"var c = P('/Alpha').CopyPage(P('/Beta'), true, true); c.fullName + ' ' + c.GetFileNames().join() + ' ' +"
         " ztDocument.GetPagesSubtree(c).join(' ')",
         "/Beta/Alpha notes.txt,data.bin /Beta/Alpha /Beta/Alpha/A1 /Beta/Alpha/A2 /Beta/Alpha/A2/Deep"},
        {"var c = P('/Alpha').CopyPage(P('/Beta'), true); ztDocument.GetPagesSubtree(c).join(' ') + ' ' +"
         " (c.ident != P('/Alpha').ident)",
         "/Beta/Alpha true"},
        {"P('/Beta').CopyPage(); ztDocument.GetPagesSubtree().length", "8"},
        {"P('/Beta').CopyPage('x')", "! ZTPage.CopyPage: Argument 0: Must be boolean or ZTPage."},
        {"P('/Beta').CopyPage(P('/Alpha'), true, [])", "! ZTPage.CopyPage: Argument 2: Must be boolean."},
        {"P('/Alpha/A2').DeletePage(); tree()", "/Alpha /Alpha/A1 /Alpha/Deep /Beta /Gamma+v1%2E0 /Formatted"},
        {"P('/Alpha/A2').DeletePage(true); tree() + ' ' + ztDocument.IsModified()",
         "/Alpha /Alpha/A1 /Beta /Gamma+v1%2E0 /Formatted true"},
        {"P('/Alpha/A2').DeletePage('x')", "! ZTPage.DeletePage: Argument 0: Must be boolean."},
        // A handle outlives its page harmlessly.
        {"var p = P('/Alpha/A2'); p.DeletePage(true); p.GetNext()", "! ZTPage.GetNext: Page not found."},
        {"var p = P('/Alpha/A2'); p.DeletePage(true); p.title", "! ZTPage.Get_Title: Cannot get tree item"},
        {"var p = P('/Alpha/A2'); p.DeletePage(true); p.fullName", "! ZTPage.Get_FullName: Cannot get tree item"},
        {"var p = P('/Beta'); p.DeletePage(); p.DeletePage()", "! ZTPage.DeletePage: Page not found."},
        {"var p = P('/Beta'); p.DeletePage(); p.NewPage()", "! ZTPage.NewPage: Page not found."},
    });
}

TEST_F(ObjectModel, TitlesAndTexts) {
    RunCases({
        {"var p = P('/Beta'); p.title = 'Neu'; p.title + ' ' + p.fullName + ' ' + ztDocument.IsModified()",
         "Neu /Neu true"},
        {"var p = P('/Beta'); p.title = ''; '[' + p.title + ']' + p.fullName", "[]/"},
        {"var p = P('/Beta'); p.title = ' x. '; '[' + p.title + ']' + p.fullName", "[ x. ]/+x%2E+"},
        {"P('/Beta').title = 5", "! ZTPage.Set_Title: Value not a string"},
        {"var p = P('/Beta'); p.DeletePage(); p.title = 'x'", "! ZTPage.Set_Title: Cannot get tree item"},
        {"var d = {}; Object.defineProperty(d, 'title', Object.getOwnPropertyDescriptor("
         "Object.getPrototypeOf(P('/Beta')), 'title')); d.title = 'x'",
         "! ZTPage.Set_Title: Cannot get ident property"},
        {"P('/Alpha').Activate(); ztActivePage.GetText(ZTRange(0, -1))", "Alpha text"},
        {"P('/Alpha').Activate(); ztActivePage.SetText('Neuer Text', ZTRange(0, -1));"
         " P('/Beta').Activate(); P('/Alpha').Activate(); ztActivePage.GetText(ZTRange(0, -1))",
         "Neuer Text"},
    });
}

TEST_F(ObjectModel, TitleSettersMarkTheDocument) {
    EXPECT_EQ(Answer("ztDocument.GetPage('/Beta').title = 'Gr\\u00f6\\u00dfe \\u20ac \\u4e00'"), "Gr\u00f6\u00dfe \u20ac \u4e00");
    CZTPageNode* node = doc.Tree().RootPages()[1];
    EXPECT_EQ(node->Title(), "Gr\xf6\xdf" "e \x80 ?");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(node->Mark(), zt::NextMark(0, CZTMarkEvent::PageChanged));
}

TEST_F(ObjectModel, AttachedFiles) {
    zt::test::WriteFile(dir / "in.txt", "from disk");
    fs::create_directory(dir / "folder");
    zt::test::WriteFile(dir / "folder/one.txt", "1");
    RunCases({
        {"P('/Alpha').GetFileNames().join() + '|' + P('/Beta').GetFileNames().length", "notes.txt,data.bin|0"},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.title + ' ' + (f.ident == P('/Alpha').ident)", "notes.txt true"},
        {"P('/Alpha').GetFile('none')", "! ZTPage.GetFile: File not found 'none'"},
        {"P('/Alpha').GetFile()", "! ZTPage.GetFile: Must have one string argument"},
        {"P('/Alpha').GetFile({})", "! ZTPage.GetFile: Cannot get string argument"},
        {"P('/Alpha').GetFile.call({ident: 0}, 'x')", "! ZTPage.GetFile: Cannot get ident property"},
        // Export
        {"P('/Alpha').GetFile('notes.txt').ExportFile('$T/out.txt')", "true"},
        {"P('/Alpha').GetFile('notes.txt').ExportFile('$T/no/such/dir/out.txt')",
         "t.js:3: warning: Error while saving\n|false"},
        {"P('/Alpha').GetFile('notes.txt').ExportFile()", "! ZTFile.ExportFile: Cannot get string argument."},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.DeleteFile(); f.ExportFile('$T/x')",
         "! ZTFile.ExportFile: File not found."},
        // Import
        {"var f = P('/Beta').ImportFile('$T/in.txt'); f.title + ' ' + P('/Beta').GetFileNames() + ' ' +"
         " ztDocument.IsModified()",
         "in.txt in.txt true"},
        {"P('/Beta').ImportFile('$T/in.txt', 'other.txt').title", "other.txt"},
        {"P('/Beta').ImportFile('$T/in.txt'); P('/Beta').ImportFile('$T/in.txt')",
         "! ZTPage.ImportFile: File exists 'in.txt'"},
        {"P('/Beta').ImportFile('$T/missing.txt')", "false"},
        {"P('/Beta').ImportFile()", "! ZTPage.ImportFile: Must have one string argument"},
        {"P('/Beta').ImportFile('$T/in.txt', {})", "! ZTPage.ImportFile: Second arg must be string argument"},
        {"var p = P('/Beta').ImportFile('$T/folder'); p.fullName + ' ' + p.GetFileNames()", "/Beta/folder one.txt"},
        // Move, copy, rename, delete
        {"var f = P('/Alpha').GetFile('notes.txt'); f.MoveFile(P('/Beta')); (f.ident == P('/Beta').ident) + ' ' +"
         " P('/Alpha').GetFileNames() + '|' + P('/Beta').GetFileNames()",
         "true data.bin|notes.txt"},
        {"var f = P('/Alpha').GetFile('notes.txt'); (f.MoveFile(P('/Alpha'), 'n2.txt') === f) + ' ' + f.title + ' ' +"
         " P('/Alpha').GetFileNames()",
         "true n2.txt data.bin,n2.txt"},
        {"var f = P('/Alpha').GetFile('notes.txt'); var c = f.CopyFile(P('/Beta'), 'copy.txt');"
         " c.title + ' ' + (c.ident == P('/Beta').ident) + ' ' + f.title + ' ' + P('/Alpha').GetFileNames()",
         "copy.txt true notes.txt notes.txt,data.bin"},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.CopyFile(P('/Beta')); f.MoveFile(P('/Beta'))",
         "! ZTFile.MoveFile: New FileName does exists"},
        {"P('/Alpha').GetFile('notes.txt').MoveFile(P('/Alpha'), 'data.bin')",
         "! ZTFile.MoveFile: New FileName does exists"},
        {"var f = P('/Alpha').GetFile('notes.txt'); (f.MoveFile(P('/Alpha')) === f) + ' ' + P('/Alpha').GetFileNames()",
         "true notes.txt,data.bin"},
        {"P('/Alpha').GetFile('notes.txt').MoveFile('x')", "! ZTFile.MoveFile: Must have ZTPage argument"},
        {"P('/Alpha').GetFile('notes.txt').CopyFile()", "! ZTFile.CopyFile: Must have ZTPage argument"},
        {"P('/Alpha').GetFile('notes.txt').CopyFile(P('/Beta'), {})", "! ZTFile.CopyFile: Cannot get new title"},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.DeleteFile(); f.MoveFile(P('/Beta'))",
         "! ZTFile.MoveFile: File does not exist."},
        {"var f = P('/Alpha').GetFile('notes.txt'), b = P('/Beta'); b.DeletePage(); f.MoveFile(b)",
         "! ZTFile.MoveFile: Page or PageDest does not exist."},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.title = 'x.txt'; f.title + ' ' + P('/Alpha').GetFileNames() +"
         " ' ' + ztDocument.IsModified()",
         "x.txt data.bin,x.txt true"},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.title = 'notes.txt'; ztDocument.IsModified()", "false"},
        {"P('/Alpha').GetFile('notes.txt').title = 'data.bin'", "! ZTFile.Set_Title: file exists 'data.bin'"},
        {"P('/Alpha').GetFile('notes.txt').title = 3", "! ZTFile.Set_Title: Value not a string"},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.DeleteFile(); f.title = 'y'",
         "! ZTFile.Set_Title: file not found 'notes.txt'"},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.DeleteFile(); P('/Alpha').GetFileNames() + ' ' +"
         " ztDocument.IsModified()",
         "data.bin true"},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.DeleteFile(); f.DeleteFile()", "! ZTFile.DeleteFile: File not found."},
        {"var f = P('/Alpha').GetFile('notes.txt'); f.DeleteFile.call({ident: 1})",
         "! ZTFile.DeleteFile: Cannot get title property"},
        // Into the text of the current page
        {"P('/Alpha').GetFile('notes.txt').InsertInText(); ztActivePage.GetText(ztActivePage.Content())",
         "helloAlpha text"},
        {"P('/Alpha').GetFile('notes.txt').InsertInText(Symbol())",
         "! ZTFile.InsertInText: Cannot get boolean argument."},
    });
    EXPECT_EQ(zt::test::ReadFile(dir / "out.txt"), "hello");
}

TEST_F(ObjectModel, ChecksOfADocumentThatCannotBeChanged) {
    std::vector<Case> cases = {
        {"ztDocument.NewPage()", "! ZTDocument.NewPage: Document not modifiable"},
        {"P('/Beta').NewPage()", "! ZTPage.NewPage: Document not modifiable"},
        {"P('/Beta').MovePage()", "! warning: ZTPage.MovePage: Document not modifiable"},
        {"P('/Beta').CopyPage()", "! ZTPage.CopyPage: Document not modifiable"},
        {"P('/Beta').DeletePage()", "! ZTPage.DeletePage: Document not modifiable"},
        {"P('/Beta').title = 'x'", "! ZTPage.Set_Title: not Modifiable or in ViewMode."},
        {"P('/Beta').ImportFile('$T/in.txt')", "! ZTPage.ImportFile: Document not modifiable"},
        {"P('/Beta').ImportPage('$T')", "! ZTPage.ImportPage: Document not modifiable"},
        {"P('/Alpha').GetFile('notes.txt').MoveFile(P('/Beta'))", "! ZTFile.MoveFile: not Modifiable."},
        {"P('/Alpha').GetFile('notes.txt').CopyFile(P('/Beta'))", "! ZTFile.CopyFile: not Modifiable."},
        {"P('/Alpha').GetFile('notes.txt').DeleteFile()", "! ZTFile.DeleteFile: not Modifiable."},
        {"P('/Alpha').GetFile('notes.txt').title = 'x'", "! ZTFile.Set_Title: not Modifiable or in ViewMode."},
        {"P('/Alpha').GetFile('notes.txt').InsertInText()", "! ZTFile.InsertInText: not Modifiable or in ViewMode."},
        {"ztDocument.SetModified(true)", "false"},
        {"typeof ztDocument.Save()", "undefined"},
        {"ztDocument.IsModifiable()", "false"},
        // Reading works.
        {"P('/Alpha').GetFile('notes.txt').ExportFile('$T/ro.txt') + ' ' + tree()",
         std::string("true ") + kTree},
    };
    for (const Case& c : cases) {
        SetUp();
        env->modifiable = false;
        EXPECT_EQ(Answer(kPrelude + c.source), c.answer) << c.source;
        EXPECT_FALSE(doc.IsModified()) << c.source;
    }
    SetUp();
    env->readOnly = true;
    EXPECT_EQ(Answer("ztDocument.GetPage('/Beta').title = 'x'"), "! ZTPage.Set_Title: not Modifiable or in ViewMode.");
}

TEST_F(ObjectModel, ImportAndExportPages) {
    fs::create_directory(dir / "imp");
    zt::test::WriteFile(dir / "imp/page.txt", "Text der Seite");
    RunCases({
        {"ztDocument.ImportPage(P('/Beta'), '$T/imp', true).fullName + ' ' + ztDocument.IsModified()",
         "/Beta/imp true"},
        {"P('/Beta').ImportPage('$T/imp').fullName + ' ' + P('/imp').GetChild().title", "/imp page.txt"},
        {"ztDocument.ImportPage('$T/imp').fullName", "/imp"},
        {"P('/Beta').ImportPage({})", "! ZTPage.ImportPage: Must have string argument."},
        {"ztDocument.ExportPage('$T/all.zip')", "true"},
        {"P('/Alpha').ExportPage('$T/sub.ztd')", "true"},
        {"P('/Alpha').ExportPage('$T/one.ztd', true)", "true"},
        {"ztDocument.ExportPage('$T/all.txt')", "true"},
        {"ztDocument.ExportPage('$T/titled.txt', 1)", "true"},
        {"ztDocument.ExportPage(P('/Alpha'), '$T/alpha.txt', true)", "true"},
        {"P('/Alpha').ExportPage({})", "! ZTPage.ExportPage: Must have string argument."},
        {"ztDocument.ExportHTML('$T')", "true"},
        {"ztDocument.ExportHTML('$T/no/such/folder')", "false"},
    });
    EXPECT_TRUE(fs::exists(dir / "all.zip"));
    for (const char* name : {"sub.ztd", "one.ztd"}) {
        zt::test::ScriptedPrompter p;
        CZTDocument other(p);
        ASSERT_TRUE(other.Open(dir / name)) << name;
        EXPECT_EQ(other.Tree().CountPages(), std::string(name) == "sub.ztd" ? 4u : 1u) << name;
        EXPECT_EQ(other.Tree().FirstRootPage()->Title(), "Alpha");
    }
    const std::string all = zt::test::ReadFile(dir / "all.txt");
    EXPECT_NE(all.find("Alpha text"), std::string::npos) << all;
    EXPECT_EQ(all.find("Gamma"), std::string::npos) << all;
    const std::string titled = zt::test::ReadFile(dir / "titled.txt");
    EXPECT_NE(titled.find("Gamma v1.0"), std::string::npos) << titled;
    EXPECT_EQ(zt::test::ReadFile(dir / "alpha.txt").find("A1"), std::string::npos);
    bool site = false;
    for (const auto& e : fs::directory_iterator(dir.path()))
        site = site || (e.is_directory() && e.path().filename().string().rfind("HTML-", 0) == 0);
    EXPECT_TRUE(site);
}

TEST_F(ObjectModel, SaveAndLoad) {
    const std::string path = dir / "saved.ztd";
    EXPECT_EQ(Answer("ztDocument.GetPage('/Beta').title = 'B2'; ztDocument.Save('" + path + "') + ' ' +"
                     " ztDocument.GetPath() + ' ' + ztDocument.IsModified()"),
              "true " + path + " false");
    EXPECT_EQ(Answer("ztDocument.New(); ztDocument.Load('" + path + "') + ' ' + ztDocument.GetPagesSubtree().join(' ')"),
              "true /Alpha /Alpha/A1 /Alpha/A2 /Alpha/A2/Deep /B2 /Gamma+v1%2E0 /Formatted");
    EXPECT_EQ(Answer("ztDocument.Save()"), "true");
}

} // namespace
