#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QFile>
#include <QSettings>

#include "ui/commandline.h"
#include "ui/docdialogs.h"
#include "ui/registration.h"
#include "ui/settings.h"

using zt::ui::CZTCommandLine;

TEST(CommandLine, OptionsWithSlashOrDashWithoutCase) {
    struct Case {
        QStringList args;
        int mode;
        QString file;
        bool quit;
    };
    const Case cases[] = {
        {{"/startmin"}, CZTCommandLine::Minimized, {}, false},
        {{"-EMPTY"}, CZTCommandLine::Empty, {}, false},
        {{"--register"}, CZTCommandLine::Register, {}, false},
        {{"notes.ztd", "/Quit"}, CZTCommandLine::Normal, "notes.ztd", true},
        {{"/home/u/Notizen.ztd"}, CZTCommandLine::Normal, "/home/u/Notizen.ztd", false},
    };
    for (const Case& c : cases) {
        CZTCommandLine cl = CZTCommandLine::Parse(c.args);
        EXPECT_EQ(cl.startMode, c.mode) << c.args.join(' ').toStdString();
        EXPECT_EQ(cl.file, c.file);
        EXPECT_EQ(cl.quit, c.quit);
        EXPECT_TRUE(cl.errors.isEmpty());
    }
}

TEST(CommandLine, RevisionHandOverValues) {
    CZTCommandLine cl =
        CZTCommandLine::Parse({"/revision", "2024-06-01 12:00:00", "/title", "Notes", "/size", "81"});
    EXPECT_TRUE(cl.HasRevision());
    EXPECT_EQ(cl.startMode, CZTCommandLine::Empty);
    EXPECT_EQ(cl.revisionLabel, "2024-06-01 12:00:00");
    EXPECT_EQ(cl.revisionTitle, "Notes");
    EXPECT_EQ(cl.revisionSize, 81);
    EXPECT_TRUE(cl.file.isEmpty());
}

TEST(CommandLine, ErrorsAreReported) {
    EXPECT_FALSE(CZTCommandLine::Parse({"/bogus"}).errors.isEmpty());
    EXPECT_FALSE(CZTCommandLine::Parse({"/size", "many"}).errors.isEmpty());
    EXPECT_FALSE(CZTCommandLine::Parse({"/title"}).errors.isEmpty());
    EXPECT_TRUE(CZTCommandLine::Parse({"--help"}).help);
    EXPECT_TRUE(CZTCommandLine::Parse({"/?"}).help);
}

TEST(FitText, ShortensAroundTheFirstThird) {
    QFont font;
    QFontMetrics fm(font);
    const QString shortPath = "/a/b/c/d/e/f/g.ztd"; // 18 characters
    const QString seventeen = shortPath.left(17);
    EXPECT_EQ(zt::ui::FitText(seventeen, fm, 1), seventeen); // never shortened
    const QString longPath = "/home/user/Dokumente/Projekte/Notizen.ztd";
    const QString once = zt::ui::FitText(longPath, fm, fm.horizontalAdvance(longPath) + 21);
    const int n = int(longPath.size()), d = n / 3;
    EXPECT_EQ(once, longPath.left(d - 3) + "..." + longPath.right(n - d - 4));
    EXPECT_EQ(once.size(), longPath.size() - 4);
    EXPECT_EQ(zt::ui::FitText(longPath, fm, 10000), longPath);
}

TEST(Settings, DefaultsAndOddValues) {
    {
        auto s = zt::ui::CZTSettings::Open();
        s->clear();
        s->setValue("Preferences/RulerUnit", 5);
        s->setValue("Preferences/TalkBarN", 9);
        s->setValue("Preferences/DefaultFont", "");
        s->setValue("Preferences/Host0", "a.example");
        s->setValue("Preferences/Host1", "");
        s->setValue("Preferences/Host2", "c.example");
        s->setValue("Archives/0", "/x/one.ztd");
        s->setValue("Archives/1", "");
        s->setValue("Archives/2", "/x/three.ztd");
    }
    zt::ui::CZTSettings settings;
    settings.Load();
    EXPECT_EQ(settings.prefs.rulerUnit, 1);
    EXPECT_EQ(settings.prefs.talkBarN, 0);
    EXPECT_EQ(settings.prefs.defaultFont, "Arial");
    EXPECT_EQ(settings.prefs.hosts, QStringList{"a.example"});
    EXPECT_EQ(settings.archives.paths, QStringList{"/x/one.ztd"});
    EXPECT_EQ(settings.prefs.mode, 2);
    EXPECT_EQ(settings.prefs.m1, 150);
}

TEST(Settings, WindowStateRoundTripAndSaveStateZero) {
    zt::ui::CZTSettings settings;
    settings.Load();
    settings.prefs.m1 = 222;
    settings.prefs.tb = 0;
    settings.prefs.mode = 1;
    settings.prefs.file = "/x/not-written.ztd";
    settings.archives.paths = {"/z/b.ztd", "/z/a.ztd"};
    settings.SaveWindowState();
    settings.SaveArchiveList();
    zt::ui::CZTSettings again;
    again.Load();
    EXPECT_EQ(again.prefs.m1, 222);
    EXPECT_EQ(again.prefs.tb, 0);
    EXPECT_NE(again.prefs.file, "/x/not-written.ztd"); // File is written with Mode 2 only
    EXPECT_EQ(again.archives.paths, (QStringList{"/z/a.ztd", "/z/b.ztd"}));

    again.prefs.saveState = 0;
    again.prefs.m1 = 333;
    again.SaveWindowState();
    zt::ui::CZTSettings third;
    third.Load();
    EXPECT_EQ(third.prefs.m1, 222);
}

TEST(Registration, DesktopFileAndMimeTypeForZtd) {
    const QString data = zt::ui::UserDataDirectory();
    ASSERT_TRUE(data.startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
    ASSERT_TRUE(zt::ui::RegisterDocumentType("/opt/zett rix/bin/zettrix"));
    QFile desktop(data + "/applications/zettrix.desktop");
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    EXPECT_TRUE(entry.contains("Exec=\"/opt/zett rix/bin/zettrix\" %f"));
    EXPECT_TRUE(entry.contains("MimeType=application/x-zettrix;"));
    QFile mime(data + "/mime/packages/zettrix.xml");
    ASSERT_TRUE(mime.open(QIODevice::ReadOnly));
    const QByteArray xml = mime.readAll();
    EXPECT_TRUE(xml.contains("type=\"application/x-zettrix\""));
    EXPECT_TRUE(xml.contains("<glob pattern=\"*.ztd\"/>"));
    ASSERT_TRUE(zt::ui::UnregisterDocumentType());
    EXPECT_FALSE(QFile::exists(data + "/applications/zettrix.desktop"));
    EXPECT_FALSE(QFile::exists(data + "/mime/packages/zettrix.xml"));
}
