// Takes pictures of the main window and the dialogs for the documentation:
// ui_screenshots OUTDIR [DOCUMENT]. Run it under Xvfb (xvfb-run) or with
// QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QCheckBox>
#include <QTabWidget>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QImage>
#include <QPainter>
#include <QTextCursor>
#include <QLocale>
#include <QTimer>
#include <QSplitter>
#include <QTreeView>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <functional>

#include "base/system.h"
#include "core/attachedfiles.h"
#include "core/document.h"
#include "ui/commands.h"
#include "ui/credentialsdialog.h"
#include "ui/docdialogs.h"
#include "ui/filedialogs.h"
#include "ui/historydialog.h"
#include "ui/leftview.h"
#include "ui/listview.h"
#include "ui/mainframe.h"
#include "ui/optionsdialog.h"
#include "ui/settings.h"
#include "ui/backgrounddialog.h"
#include "ui/tabdialog.h"
#include "ui/textformat.h"
#include "ui/textview.h"
#include "ui/treedialogs.h"

using namespace zt::ui;

namespace {

void Settle() {
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

bool Save(QWidget* w, const QString& path) {
    w->show();
    Settle();
    bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// With the window manager's frame: the screen's pixels where the window is
// (under Xvfb with a window manager running), else the widget alone.
bool SaveFramed(QWidget* w, const QString& path) {
    w->show();
    w->raise();
    for (int i = 0; i < 30; ++i) {
        Settle();
        QThread::msleep(20);
    }
    QImage image;
    if (QScreen* screen = w->screen()) {
        const QRect r = w->frameGeometry();
        image = screen->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
    }
    if (image.isNull()) image = w->grab().toImage();
    const bool ok = image.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_screenshots OUTDIR [DOCUMENT]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    CZTSettings settings;
    settings.Load(); // the first start's values (the settings are fresh)
    CMainFrame frame(settings);
    if (argc > 2) frame.OpenDocument(QString::fromLocal8Bit(argv[2]));
    frame.LoadWindowState();
    // The window as it first opens, with its frame, and the credentials
    // prompt over it.
    bool ok = SaveFramed(&frame, out + QStringLiteral("/main-first-start.png"));
    {
        CCredentialsDialog credentials(QStringLiteral("Notizen.ztd"), false, &frame);
        credentials.SetName(QStringLiteral("anna"));
        ok &= SaveFramed(&credentials, out + QStringLiteral("/credentials.png"));
        credentials.hide();
    }
    frame.resize(1000, 640);
    frame.show();
    frame.Document().Tree().ToggleExpandAll();
    Settle();
    // The second page of the walk makes a good current page.
    CZTPageNode* page = frame.Document().Tree().FirstRootPage();
    if (page && page->NextSibling()) page = page->NextSibling();
    if (page && page->FirstChild()) page = page->FirstChild();
    frame.TreeView()->SelectPage(page);
    frame.TreeView()->setFocus();
    frame.UpdateCommandUI();
    ok &= Save(&frame, out + QStringLiteral("/main.png"));

    // A formatted page with a picture, the ruler and the font bar.
    if (page) {
        CZettrixView* view = frame.TextView();
        view->setFocus();
        Settle();
        view->SetActive(true);
        view->selectAll();
        view->textCursor().removeSelectedText();
        QTextCursor c = view->textCursor();
        auto line = [&](const QString& text, const std::function<void(QTextCursor&)>& format) {
            const int start = c.position();
            c.insertText(text);
            QTextCursor sel = c;
            sel.setPosition(start, QTextCursor::KeepAnchor);
            format(sel);
            c.insertBlock();
            c.setBlockFormat(QTextBlockFormat());
            c.setCharFormat(DefaultCharFormat(CZTEditDefaults{}));
        };
        line(QStringLiteral("Projektnotizen"), [](QTextCursor& s) {
            SetFontSize(s, 16);
            SetCharEffect(s, CharEffect::Bold, true);
            SetTextColour(s, QColor(0x20, 0x50, 0xd0));
        });
        line(QStringLiteral("Der Text einer Seite kann fett, kursiv, unterstrichen und farbig sein."),
             [](QTextCursor& s) {
                 QTextCursor w = s;
                 w.setPosition(s.selectionEnd() - 44);
                 w.setPosition(s.selectionEnd() - 40, QTextCursor::KeepAnchor);
                 SetCharEffect(w, CharEffect::Bold, true);
                 w.setPosition(s.selectionEnd() - 38);
                 w.setPosition(s.selectionEnd() - 32, QTextCursor::KeepAnchor);
                 SetCharEffect(w, CharEffect::Italic, true);
                 w.setPosition(s.selectionEnd() - 30);
                 w.setPosition(s.selectionEnd() - 17, QTextCursor::KeepAnchor);
                 SetCharEffect(w, CharEffect::Underline, true);
                 w.setPosition(s.selectionEnd() - 12);
                 w.setPosition(s.selectionEnd() - 6, QTextCursor::KeepAnchor);
                 SetTextColour(w, QColor(0xc0, 0x30, 0x30));
                 SetTextBackground(w, QColor(0xff, 0xf0, 0x80));
             });
        line(QStringLiteral("Aufzählung mit Einzug"), [](QTextCursor& s) {
            IndentMore(s, 720);
            ToggleBullets(s, 720);
        });
        line(QStringLiteral("Zweiter Punkt\tmit Tabulator"), [](QTextCursor& s) {
            IndentMore(s, 720);
            ToggleBullets(s, 720);
            SetTabStops(s, {2880, 4320});
        });
        line(QStringLiteral("Wasser: H2O, Fläche: m2"), [](QTextCursor& s) {
            QTextCursor w = s;
            w.setPosition(s.selectionStart() + 9);
            w.setPosition(s.selectionStart() + 10, QTextCursor::KeepAnchor);
            ToggleSubscript(w);
            w.setPosition(s.selectionEnd() - 1);
            w.setPosition(s.selectionEnd(), QTextCursor::KeepAnchor);
            ToggleSuperscript(w);
        });
        QImage picture(180, 90, QImage::Format_RGB32);
        picture.fill(QColor(0xe8, 0xf0, 0xff));
        {
            QPainter p(&picture);
            p.setRenderHint(QPainter::Antialiasing);
            p.setBrush(QColor(0x40, 0x90, 0x40));
            p.drawEllipse(QRect(20, 15, 60, 60));
            p.setBrush(QColor(0xd0, 0x60, 0x30));
            p.drawRect(QRect(95, 25, 65, 45));
        }
        const QString picturePath = out + QStringLiteral("/picture.png");
        picture.save(picturePath);
        view->setTextCursor(c);
        view->InsertPictureFile(picturePath);
        QFile::remove(picturePath);
        c = view->textCursor();
        c.movePosition(QTextCursor::Start);
        c.movePosition(QTextCursor::NextBlock, QTextCursor::MoveAnchor, 3);
        view->setTextCursor(c);
        frame.UpdateCommandUI();
        ok &= Save(&frame, out + QStringLiteral("/textview.png"));
        CZTTabDialog tabs({568, 1136, 2840}, 0, &frame);
        tabs.entry->setText(QStringLiteral("7,5"));
        ok &= Save(&tabs, out + QStringLiteral("/tabs.png"));
        tabs.hide();
        CZTBackgroundDialog background(QColor(0xff, 0xf8, 0xe0), &frame);
        ok &= Save(&background, out + QStringLiteral("/background.png"));
        background.hide();
        view->document()->setModified(false);
        frame.Document().Archive().SetModified(false);
    }
    // The files list filled: a few files on the current page, one selected.
    if (page) {
        const std::pair<const char*, std::string> files[] = {
            {"Protokoll.txt", std::string(1834, 'p')},
            {"Skizze.png", std::string(48211, 's')},
            {"Angebot 2026.pdf", std::string(152034, 'a')},
            {"Adressen.csv", std::string(612, 'c')},
        };
        int32_t when = zt::NowStamp() - 86400 * 3;
        for (const auto& [name, bytes] : files) zt::StoreFile(frame.Document(), page, name, bytes, when += 7200);
        frame.FilesView()->ShowPage(page);
        frame.FilesView()->SelectFile(QStringLiteral("Protokoll.txt"));
        frame.FilesView()->setFocus();
        const QList<int> rows = frame.RightSplitter()->sizes();
        frame.RightSplitter()->setSizes({300, 170});
        frame.UpdateCommandUI();
        ok &= Save(&frame, out + QStringLiteral("/main-files.png"));
        frame.RightSplitter()->setSizes(rows);
        CZTFileConflictDialog conflict(QStringLiteral("Protokoll.txt"), QStringLiteral("/home/anna/Protokoll.txt"),
                                       &frame);
        ok &= Save(&conflict, out + QStringLiteral("/file-conflict.png"));
        conflict.hide();
        CZTOpenFileDialog open(QStringLiteral("Protokoll.txt"), QStringLiteral("/usr/bin/gedit"), false, &frame);
        ok &= Save(&open, out + QStringLiteral("/file-open.png"));
        open.hide();
        CZTFileFacts facts{QStringLiteral("Protokoll.txt"), QStringLiteral("/Projekte/Kap.2/Protokoll.txt"),
                           QStringLiteral("anna"), FormatStamp(when), QStringLiteral("anna"), FormatStamp(when),
                           FormatBytes(1834, 41)};
        CZTFilePropertiesDialog props(facts, &frame);
        ok &= Save(&props, out + QStringLiteral("/file-properties.png"));
        props.hide();
    }

    CZTPreferences prefs = settings.prefs;
    CZTOptionsDialog options(prefs, {}, {}, &frame);
    ok &= Save(&options, out + QStringLiteral("/options.png"));
    options.tabs->setCurrentIndex(4);
    ok &= Save(&options, out + QStringLiteral("/options-margins.png"));
    options.hide();

    if (page) {
        TreeEntryStyle style = page->Style();
        CZTTreeEntryDialog entry(QStringLiteral("Kap.2"), style, &frame);
        entry.bold->setChecked(true);
        entry.SetTextColour(QColor(0x20, 0x50, 0xd0));
        ok &= Save(&entry, out + QStringLiteral("/tree-entry.png"));
        entry.hide();
        CZTPagePropertiesDialog props(frame.Document(), page->Parent() ? page->Parent() : page, &frame);
        ok &= Save(&props, out + QStringLiteral("/page-properties.png"));
        props.hide();
    }
    CZTSortDialog sort(&frame);
    ok &= Save(&sort, out + QStringLiteral("/sort.png"));
    sort.hide();
    zt::SilentPrompter silent;
    CZTMultipleDialog multiple(frame.Document(), silent, page, &frame);
    if (page) multiple.AddPage(page->Ident(), true);
    ok &= Save(&multiple, out + QStringLiteral("/multiple.png"));
    multiple.hide();
    // The history of a copy of the demo document, saved twice more on later
    // days.
    struct DayClock : zt::Clock {
        int64_t now = 0;
        int64_t Now() const override { return now; }
    } clock;
    const QString copy = out + QStringLiteral("/history-demo.ztd");
    if (argc > 2) {
        QFile::remove(copy);
        QFile::copy(QString::fromLocal8Bit(argv[2]), copy);
        frame.OpenDocument(copy);
        clock.now = zt::CurrentClock().Now();
        zt::SetClock(&clock);
        for (int i = 0; i < 2; ++i) {
            clock.now += 86400 + 3600 * i;
            frame.SaveDocumentTo(copy);
        }
        zt::SetClock(nullptr);
    }
    QTimer::singleShot(200, [&] {
        if (QWidget* d = QApplication::activeModalWidget()) {
            ok &= d->grab().save(out + QStringLiteral("/history.png"));
            std::printf("wrote %s\n", qPrintable(out + QStringLiteral("/history.png")));
            static_cast<QDialog*>(d)->reject();
        }
    });
    frame.Execute(ID_HISTORY);
    QFile::remove(copy);
    CZTDocPropertiesDialog doc(frame.Document(), true, &frame);
    ok &= Save(&doc, out + QStringLiteral("/document-properties.png"));
    doc.hide();
    frame.Document().Archive().SetModified(false);
    return ok ? 0 : 1;
}
