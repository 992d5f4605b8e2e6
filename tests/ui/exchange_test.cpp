// The directory and zip commands of the main window: the export dialog, the
// imports, and cancelling through the status bar's progress bar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>

#include <filesystem>

#include "base/cp1252.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "exchange/zip.h"
#include "support/pageshape.h"
#include "support/modal.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"
#include "ui/commands.h"
#include "ui/exchangeui.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/settings.h"

using namespace zt::ui;
using zt::test::OnNextModal;
using zt::test::ScriptedPrompter;
using zt::test::TempDir;
namespace fs = std::filesystem;

namespace {

using zt::test::Shape;

class Exchange : public ::testing::Test {
protected:
    void SetUp() override {
        CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        CZTDocument& doc = frame->Document();
        CZTPageNode* first = doc.Tree().FirstRootPage();
        doc.RenamePage(first, "Projekte");
        CZTPageNode* memo = doc.AddPage(first, "Memo");
        doc.SetPageText(memo, "{\\rtf1 Hallo}");
        zt::StoreFile(doc, memo, "daten.bin", std::string(5000, 'd'), 1700000000);
        for (int i = 0; i < 5; ++i) doc.AddPage(nullptr, "S" + std::to_string(i));
        frame->TreeView()->SelectPage(first);
    }
    void TearDown() override {
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }
    std::string TreeShape() { return Shape(frame->Document().Tree().RootPages()); }
    CZTExchangeUi& X() { return *frame->Exchange(); }
    void Run(int id) {
        frame->UpdateCommandUI();
        frame->Execute(id);
        QApplication::processEvents();
    }

    ScriptedPrompter prompter;
    CZTSettings settings;
    std::unique_ptr<CMainFrame> frame;
    TempDir t;
};

} // namespace

TEST_F(Exchange, ExportDialogWritesZipAndDirectory) {
    // An empty target keeps the dialog open with the message; then the zip.
    bool sawEmpty = false;
    OnNextModal<CZTExportDialog>([&](CZTExportDialog* d) {
        EXPECT_TRUE(d->whatButtons[0]->isChecked());
        EXPECT_FALSE(d->contentButtons[2]->isEnabled()) << "zip comments only for zip";
        d->kindButtons[1]->setChecked(true);
        EXPECT_TRUE(d->contentButtons[2]->isEnabled());
        d->accept();
        sawEmpty = d->isVisible();
        d->target->setText(QString::fromStdString(t / "out.zip"));
        d->contentButtons[2]->setChecked(true);
        d->accept();
    });
    Run(ID_EXPORT_DIRECTORY);
    EXPECT_TRUE(sawEmpty);
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.front(), "Sie müssen zuerst einen Dateinamen auswählen.");
    zt::ZipArchive z;
    ASSERT_TRUE(z.Open(t / "out.zip", zt::ZipArchive::kReadOnDemand));
    EXPECT_EQ(z.Entry(0).name, "Projekte/");
    EXPECT_EQ(z.EntryCount(), 8u); // 7 directory entries and one file
    EXPECT_EQ(X().lastContent, 2);
    EXPECT_TRUE(X().lastZip);
    EXPECT_FALSE(X().ProgressBar()->isVisible());

    // The tree's command for the selected page: choices preset from the last export.
    settings.prefs.drag = 0;
    OnNextModal<CZTExportDialog>([&](CZTExportDialog* d) {
        EXPECT_TRUE(d->whatButtons[1]->isChecked());
        EXPECT_TRUE(d->kindButtons[1]->isChecked());
        d->kindButtons[0]->setChecked(true);
        EXPECT_TRUE(d->contentButtons[1]->isChecked()) << "directory turns zip comments into files only";
        d->contentButtons[0]->setChecked(true);
        d->target->setText(QString::fromStdString(t.path()));
        d->accept();
    });
    Run(ID_EXPORT_DIRECTORY_PAGES);
    EXPECT_TRUE(fs::exists(t / "Projekte/Memo/Memo.txt"));
    EXPECT_TRUE(fs::exists(t / "Projekte/Memo/daten.bin"));
}

TEST_F(Exchange, CancelledExportIsMarkedAndTold) {
    X().onProgress = [&](uint64_t, uint64_t) {
        EXPECT_TRUE(X().ProgressBar()->isVisible());
        QTest::mouseClick(X().CancelButton(), Qt::LeftButton);
    };
    OnNextModal<CZTExportDialog>([&](CZTExportDialog* d) {
        d->kindButtons[0]->setChecked(true);
        d->target->setText(QString::fromStdString(t.path()));
        d->accept();
    });
    Run(ID_EXPORT_DIRECTORY);
    EXPECT_TRUE(fs::is_directory(t / "Unbenannt (unvollständig)"));
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_NE(prompter.messages.back().find("abgebrochen"), std::string::npos);
    EXPECT_FALSE(X().ProgressBar()->isVisible());
}

TEST_F(Exchange, ImportCommands) {
    // A zip archive as new pages after the selected page.
    {
        zt::ZipArchive w;
        ASSERT_TRUE(w.Open(t / "a.zip", zt::ZipArchive::kCreate));
        w.AddEntry("x/y.txt", "y");
        ASSERT_TRUE(w.Close());
    }
    X().chooseFiles = [&](const QString&) { return QStringList{QString::fromStdString(t / "a.zip")}; };
    Run(ID_IMPORT_ZIP_PAGES);
    EXPECT_EQ(TreeShape(), "Projekte(Memo) a.zip(x) S0 S1 S2 S3 S4");
    EXPECT_EQ(zt::Cp1252ToUtf8(frame->TreeView()->CurrentPage()->Title()), "a.zip");
    EXPECT_TRUE(frame->Document().IsModified());

    // A directory as new pages: the insertion and binary questions answered.
    fs::create_directories(t / "dir/sub");
    zt::test::WriteFile(t / "dir/sub/t.txt", "text");
    X().chooseFolder = [&](const QString& caption) {
        EXPECT_EQ(caption, "Verzeichnis importieren");
        return QString::fromStdString(t / "dir");
    };
    std::vector<int> asked;
    X().answerChoice = [&](int q) {
        asked.push_back(q);
        return q == 0 ? 0 : 3; // as child pages, binary files as files
    };
    Run(ID_IMPORT_DIRECTORY_PAGES);
    EXPECT_EQ(asked, (std::vector<int>{0, 1}));
    EXPECT_EQ(TreeShape(), "Projekte(Memo) a.zip(dir(sub(t.txt)) x) S0 S1 S2 S3 S4");

    // A broken archive changes nothing and says so.
    zt::test::WriteFile(t / "bad.zip", "PK\x05\x06 broken");
    X().chooseFiles = [&](const QString&) { return QStringList{QString::fromStdString(t / "bad.zip")}; };
    prompter.messages.clear();
    Run(ID_IMPORT_ZIP_PAGES);
    EXPECT_EQ(TreeShape(), "Projekte(Memo) a.zip(dir(sub(t.txt)) x) S0 S1 S2 S3 S4");
    EXPECT_FALSE(prompter.messages.empty());

    // A zip archive as the whole document: a fresh document titled after it.
    X().chooseFiles = [&](const QString&) { return QStringList{QString::fromStdString(t / "a.zip")}; };
    prompter.answers = {false}; // do not save the changes
    frame->Document().Archive().SetModified(false);
    Run(ID_IMPORT_ZIP);
    EXPECT_EQ(TreeShape(), "a.zip(x)");
    EXPECT_EQ(frame->Document().Archive().Header().title, "a");
}
