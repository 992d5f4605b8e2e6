// The user's preferences, kept with QSettings (organisation "Zettrix
// Applications", application "Zettrix") in the sections "Preferences",
// "Archives", "Help", "ServerSSL", "Settings" and "Recent File List".
// Missing values read as their defaults.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSettings;

namespace zt::ui {

struct CZTPreferences {
    int mode = 2; // 0 no start document, 1 the one in `file`, 2 the last closed one
    QString file;
    int saveState = 1;
    int flags = -1, showCmd = -1;
    int x1 = -1, y1 = -1, x2 = -1, y2 = -1;
    int m1 = 150; // tree pane width
    int m2 = 170; // text pane height
    int l[4] = {120, 60, 100, 100};
    int lo[4] = {0, 1, 2, 3};
    // bar visibility: tool bar, status bar, font bar, navigation bar, edit bar,
    // tree bar, page bar, tips bar
    int tlb = 1, stb = 1, slb = 1, lkb = 1, edb = 1, trb = 1, plb = 1, tb = 1;
    int plbfx = 100, plbfy = 30;
    int header = 1, caption = 0, buttonText = 0, viewTitle = 1, rulerBar = 1, drag = 1;
    int autoLink = 1, autoWord = 1, autoSave = 0;
    QString defaultFont = QStringLiteral("Arial");
    int defaultFontSize = 240;
    int marginLeft = 1440, marginRight = 1440, marginTop = 1440, marginBot = 1440;
    int rulerUnit = 1, indent = 720, wordWrap = 2;
    QStringList hosts; // newest first
    QString user;
    int crypt = 0;
    int htmlTitle = 1, htmlLinkHead = 1, htmlLinkFoot = 1, htmlDir = 1;
    QString htmlHead1, htmlHead2, htmlFoot1, htmlFoot2, htmlMeta;
    int trayIcon = 0;
    int alarmExpRoot = 0, alarmExpPage = 1, alarmImpRoot = 0, alarmImpPage = 0;
    int alarmOpenAll = 1, alarmOpenOld = 1, alarmSnd = 0;
    QString alarmSndCmd;
    std::optional<int> p11p12KeyUsage;
    int talkBarN = 0;
    int treeItemToggleOnClick = 0;
    // the docking layout of the bars (QMainWindow::saveState)
    QByteArray barState;
};

struct CZTArchiveList {
    QStringList paths;
    int autoAdd = 1;
    int autoRemove = 1;

    void Add(const QString& path);
    void Remove(const QString& path);
};

struct CZTHelpServer {
    QString hostAndPort, scriptName = QStringLiteral("ztweb/ztDB.php"), userName = QStringLiteral("all"), password,
                         document = QStringLiteral("ZT-Manual"), ident;
    int ssl = 1;
};

// Section "Mail": the SMTP server reminders send through (the password is
// kept in the keyring or asked at send time, never here), and the address
// list of the address dialog.
struct CZTMailPrefs {
    QString server;
    int port = 0;
    QString tls = QStringLiteral("STARTTLS"); // STARTTLS, TLS or none
    QString user;
    QString sender;
    QStringList addresses; // "Name <address>" or a bare address
};

class CZTSettings {
public:
    static constexpr int kRecentFiles = 8;

    CZTPreferences prefs;
    CZTArchiveList archives;
    CZTHelpServer help;
    QStringList recentFiles; // newest first, at most kRecentFiles
    CZTMailPrefs mail;

    // The address list: the settings' list, then the lines of
    // ~/.local/share/zettrix/addresses, without repeats.
    QStringList MailAddresses() const;
    // Stores the settings' address list.
    void SaveMailAddresses();
    // Stores server, port, TLS mode, user and sender of section "Mail" (a
    // password found there from elsewhere is removed: it is never kept in
    // the settings).
    void SaveMail();

    // The values the start needs: every preference (applied to the window
    // later), the archive list, the help server and the recent files.
    void Load();
    // The "Preferences" values at close, when `saveState` is 1: every value but
    // Mode, SaveState and TreeItemToggleOnClick; File only with Mode 2.
    void SaveWindowState();
    // The archive list, sorted, at exit.
    void SaveArchiveList();
    void SaveRecentFiles();
    // Stored at once when the options sheet changes them.
    void SaveMode();
    void SaveFile();

    // How the tree of a document was left: its expanded pages and the
    // selected page, as link paths. Kept for the documents used last.
    struct DocumentView {
        QString selected;
        QStringList expanded;
    };
    static constexpr int kDocumentViews = 40;
    static DocumentView LoadDocumentView(const QString& documentPath);
    static void SaveDocumentView(const QString& documentPath, const DocumentView& view);

    void AddRecentFile(const QString& path);
    void RemoveRecentFile(const QString& path);

    // The settings store of the program.
    static std::unique_ptr<QSettings> Open();
};

} // namespace zt::ui
