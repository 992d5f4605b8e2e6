// Links in the page text of the main window: followed by the command and by a
// click, marked as the user types and when a page is shown, and the visit
// history behind "Zurück" and "Vorwärts".
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>

#include <functional>

#include "core/attachedfiles.h"
#include "core/document.h"
#include "support/modal.h"
#include "support/scripted_prompter.h"
#include "text/qt/linkmarker.h"
#include "ui/commands.h"
#include "ui/filedialogs.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/settings.h"
#include "ui/textview.h"

using namespace zt::ui;
using zt::test::OnNextModal;
using zt::test::ScriptedPrompter;

namespace {

class Links : public ::testing::Test {
public:
    void SetUp() override {
        CZTSettings::Open()->clear();
        settings.Load();
        frame = std::make_unique<CMainFrame>(settings);
        frame->SetPrompter(&prompter);
        frame->resize(900, 700);
        frame->show();
        QApplication::setActiveWindow(frame.get());
        QTest::qWaitForWindowExposed(frame.get());
        CZTDocument& doc = frame->Document();
        notes = doc.AddPage(nullptr, "Notes");
        notes1 = doc.AddPage(nullptr, "Notes");
        sub = doc.AddPage(notes, "Sub");
        sibling = doc.AddPage(notes, "Sibling");
        kap = doc.AddPage(sub, "Kap.2");
        view = frame->TextView();
    }
    void TearDown() override {
        frame->Document().Archive().SetModified(false);
        frame.reset();
    }
    CZTPageNode* Current() { return frame->TreeView()->CurrentPage(); }
    void Show(CZTPageNode* p) {
        frame->TreeView()->SelectPage(p);
        view->setFocus();
        view->SetActive(true);
    }
    // Text typed into the shown page, stored by the next page switch.
    void Write(const QString& text) {
        QTextCursor c(view->document());
        c.movePosition(QTextCursor::End);
        c.insertText(text);
        view->setTextCursor(c);
    }
    int Find(const QString& link) { return view->toPlainText().indexOf(link); }
    void CaretIn(const QString& link) {
        QTextCursor c(view->document());
        c.setPosition(Find(link) + 2);
        view->setTextCursor(c);
    }
    void Follow(const QString& link) {
        CaretIn(link);
        ASSERT_TRUE(frame->IsCommandEnabled(ID_FOLLOW_LINK)) << link.toStdString();
        frame->Execute(ID_FOLLOW_LINK);
    }

    CZTSettings settings;
    ScriptedPrompter prompter;
    std::unique_ptr<CMainFrame> frame;
    CZettrixView* view = nullptr;
    CZTPageNode *notes = nullptr, *notes1 = nullptr, *sub = nullptr, *sibling = nullptr, *kap = nullptr;
};

const QString kLinks = QStringLiteral("zt:/Notes(1)\nzt:../Sibling\nzt:Kap%2E2\nzt:Sibling\nzt:/Missing\n"
                                      "ztf:/Notes/Sub/a%20b.txt\nztf:/Notes/Sub/c.txt\nnur Text\n");

} // namespace

TEST_F(Links, PageLinksFollowedByTheCommand) {
    Show(sub);
    Write(kLinks);
    struct Case {
        const char* link;
        CZTPageNode* Links::*target; // null: no page change
        const char* message;
    };
    const Case cases[] = {
        {"zt:/Notes(1)", &Links::notes1, nullptr},      // the second of two siblings called Notes
        {"zt:../Sibling", &Links::sibling, nullptr},    // a sibling through the parent
        {"zt:Kap%2E2", &Links::kap, nullptr},           // a child, its "." encoded
        {"zt:Sibling", nullptr, "Seite\nSibling\nnicht gefunden."}, // only among the children
        {"zt:/Missing", nullptr, "Seite\n/Missing\nnicht gefunden."},
    };
    for (const Case& c : cases) {
        Show(sub);
        prompter.messages.clear();
        Follow(QString::fromUtf8(c.link));
        EXPECT_EQ(Current(), c.target ? this->*c.target : sub) << c.link;
        if (c.message) {
            ASSERT_EQ(prompter.messages.size(), 1u) << c.link;
            EXPECT_EQ(prompter.messages[0], c.message);
        } else {
            EXPECT_TRUE(prompter.messages.empty()) << c.link;
        }
    }
    // Plain words are no link.
    Show(sub);
    CaretIn(QStringLiteral("nur Text"));
    EXPECT_FALSE(frame->IsCommandEnabled(ID_FOLLOW_LINK));
}

TEST_F(Links, FileLinksOpenTheAttachedFile) {
    ASSERT_TRUE(zt::StoreFile(frame->Document(), sub, "a b.txt", "Inhalt", 100));
    Show(sub);
    Write(kLinks);
    QString offered;
    OnNextModal<CZTOpenFileDialog>([&offered](CZTOpenFileDialog* d) {
        for (QLabel* l : d->findChildren<QLabel*>()) offered += l->text() + QLatin1Char('|');
        d->reject();
    });
    Follow(QStringLiteral("ztf:/Notes/Sub/a%20b.txt"));
    EXPECT_TRUE(offered.contains(QStringLiteral("a b.txt"))) << offered.toStdString();
    EXPECT_EQ(Current(), sub);

    prompter.messages.clear();
    Follow(QStringLiteral("ztf:/Notes/Sub/c.txt"));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], "Datei 'c.txt' nicht gefunden.");
}

TEST_F(Links, AClickOnAMarkedLinkFollowsIt) {
    Show(sub);
    Write(kLinks);
    Show(kap); // stores the text; showing it again marks the links
    Show(sub);
    ASSERT_NE(view->LinkMarker(), nullptr);
    const int at = Find(QStringLiteral("zt:/Notes(1)")) + 4;
    EXPECT_EQ(view->LinkMarker()->LinkAt(at), QStringLiteral("zt:/Notes(1)"));
    QTextCursor c(view->document());
    c.setPosition(at);
    const QPoint point = view->cursorRect(c).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    EXPECT_EQ(Current(), notes1);
}

TEST_F(Links, MarkedAsTypedAndWhenShownWithoutChangingThePage) {
    Show(sub);
    view->setFocus();
    QTest::keyClicks(view->viewport(), QStringLiteral("siehe http://x.de,mehr ahttp://nein http:// (www.a.de/b.c) ende"));
    // Each shown page has its own document and marker.
    ASSERT_NE(view->LinkMarker(), nullptr);
    auto at = [&](const QString& s) { return view->LinkMarker()->LinkAt(Find(s) + 1); };
    auto check = [&] {
        EXPECT_EQ(at(QStringLiteral("http://x.de")), QStringLiteral("http://x.de")); // ends before the comma
        EXPECT_EQ(at(QStringLiteral("ahttp")), QString());                         // no delimiter before it
        EXPECT_EQ(at(QStringLiteral("http:// ")), QString());                      // nothing after the scheme
        EXPECT_EQ(at(QStringLiteral("www.a.de")), QStringLiteral("www.a.de/b.c)"));  // ")" and "." do not end it
    };
    check();
    Show(kap);
    frame->Document().Archive().SetModified(false);
    Show(sub);
    check();
    EXPECT_FALSE(view->document()->isModified());
    EXPECT_FALSE(frame->Document().Archive().IsModified());
    // With the setting off nothing is marked.
    view->SetAutoLink(false);
    EXPECT_EQ(at(QStringLiteral("http://x.de")), QString());
}

TEST_F(Links, BackAndForwardAfterThreeVisitsAndANewVisit) {
    Show(notes);
    Show(notes1);
    Show(sub);
    frame->Execute(ID_NAV_BACK);
    EXPECT_EQ(Current(), notes1);
    Show(kap); // a new visit; the page skipped by going back stays reachable
    frame->Execute(ID_NAV_FORWARD);
    EXPECT_EQ(Current(), sub);
    frame->Execute(ID_NAV_BACK);
    EXPECT_EQ(Current(), kap);
    frame->Execute(ID_NAV_BACK);
    EXPECT_EQ(Current(), notes1);
}

TEST_F(Links, OtherAddressesGoToTheDesktopAndAFailureIsTold) {
    QList<QUrl> opened;
    bool works = true;
    frame->openUrl = [&](const QUrl& url) {
        opened.push_back(url);
        return works;
    };
    Show(sub);
    Write(QStringLiteral("www.example.org/a\nmailto:anna@example.org\n"));
    Follow(QStringLiteral("www.example.org/a"));
    works = false;
    Follow(QStringLiteral("mailto:anna@example.org"));
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("http://www.example.org/a")));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("mailto:anna@example.org")));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], "Die Adresse\nmailto:anna@example.org\nkonnte nicht geöffnet werden.");
    EXPECT_EQ(Current(), sub);
}
