#include "ui/settings.h"

#include <QLocale>
#include <QDir>
#include <QFile>

#include <QSettings>

#include <algorithm>

namespace zt::ui {

namespace {

const char* const kPrefs = "Preferences";

int ReadInt(QSettings& s, const char* key, int def) {
    QVariant v = s.value(QLatin1String(key));
    if (!v.isValid()) return def;
    bool ok = false;
    int i = v.toInt(&ok);
    return ok ? i : def;
}

QString ReadString(QSettings& s, const char* key, const QString& def = {}) {
    QVariant v = s.value(QLatin1String(key));
    return v.isValid() ? v.toString() : def;
}

// Reads and writes every "Preferences" value through one list, so that the
// two directions cannot drift apart.
template <class S, class F> void ForEachPreference(S& p, F&& f) {
    f("flags", p.flags);
    f("showCmd", p.showCmd);
    f("x1", p.x1);
    f("y1", p.y1);
    f("x2", p.x2);
    f("y2", p.y2);
    f("m1", p.m1);
    f("m2", p.m2);
    f("l0", p.l[0]);
    f("l1", p.l[1]);
    f("l2", p.l[2]);
    f("l3", p.l[3]);
    f("lo0", p.lo[0]);
    f("lo1", p.lo[1]);
    f("lo2", p.lo[2]);
    f("lo3", p.lo[3]);
    f("tlb", p.tlb);
    f("stb", p.stb);
    f("slb", p.slb);
    f("lkb", p.lkb);
    f("edb", p.edb);
    f("trb", p.trb);
    f("plb", p.plb);
    f("tb", p.tb);
    f("plbfx", p.plbfx);
    f("plbfy", p.plbfy);
    f("header", p.header);
    f("caption", p.caption);
    f("ButtonText", p.buttonText);
    f("ViewTitle", p.viewTitle);
    f("RulerBar", p.rulerBar);
    f("drag", p.drag);
    f("AutoLink", p.autoLink);
    f("AutoWord", p.autoWord);
    f("AutoSave", p.autoSave);
    f("DefaultFontSize", p.defaultFontSize);
    f("MarginLeft", p.marginLeft);
    f("MarginRight", p.marginRight);
    f("MarginTop", p.marginTop);
    f("MarginBot", p.marginBot);
    f("RulerUnit", p.rulerUnit);
    f("Indent", p.indent);
    f("WordWrap", p.wordWrap);
    f("Crypt", p.crypt);
    f("HtmlTitle", p.htmlTitle);
    f("HtmlLinkHead", p.htmlLinkHead);
    f("HtmlLinkFoot", p.htmlLinkFoot);
    f("HtmlDir", p.htmlDir);
    f("TrayIcon", p.trayIcon);
    f("AlarmExpRoot", p.alarmExpRoot);
    f("AlarmExpPage", p.alarmExpPage);
    f("AlarmImpRoot", p.alarmImpRoot);
    f("AlarmImpPage", p.alarmImpPage);
    f("AlarmOpenAll", p.alarmOpenAll);
    f("AlarmOpenOld", p.alarmOpenOld);
    f("AlarmSnd", p.alarmSnd);
    f("TalkBarN", p.talkBarN);
}

template <class S, class F> void ForEachPreferenceString(S& p, F&& f) {
    f("DefaultFont", p.defaultFont);
    f("User", p.user);
    f("HtmlHead1", p.htmlHead1);
    f("HtmlHead2", p.htmlHead2);
    f("HtmlFoot1", p.htmlFoot1);
    f("HtmlFoot2", p.htmlFoot2);
    f("HtmlMeta", p.htmlMeta);
    f("AlarmSndCmd", p.alarmSndCmd);
}

} // namespace

std::unique_ptr<QSettings> CZTSettings::Open() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Zettrix Applications"), QStringLiteral("Zettrix"));
}

// The group holds entries "0", "1", ... newest first; each entry is a list:
// the document's path, the selected page, then the expanded pages.
CZTSettings::DocumentView CZTSettings::LoadDocumentView(const QString& documentPath) {
    std::unique_ptr<QSettings> store = Open();
    store->beginGroup(QStringLiteral("DocumentViews"));
    DocumentView view;
    for (int i = 0; i < kDocumentViews; ++i) {
        const QStringList entry = store->value(QString::number(i)).toStringList();
        if (entry.isEmpty()) break;
        if (entry[0] != documentPath) continue;
        if (entry.size() > 1) view.selected = entry[1];
        view.expanded = entry.mid(2);
        break;
    }
    return view;
}

void CZTSettings::SaveDocumentView(const QString& documentPath, const DocumentView& view) {
    if (documentPath.isEmpty()) return;
    std::unique_ptr<QSettings> store = Open();
    store->beginGroup(QStringLiteral("DocumentViews"));
    QList<QStringList> entries;
    entries.append(QStringList{documentPath, view.selected} + view.expanded);
    for (int i = 0; i < kDocumentViews; ++i) {
        const QStringList entry = store->value(QString::number(i)).toStringList();
        if (entry.isEmpty()) break;
        if (entry[0] != documentPath && entries.size() < kDocumentViews) entries.append(entry);
    }
    store->remove(QString());
    for (int i = 0; i < entries.size(); ++i) store->setValue(QString::number(i), entries[i]);
}

void CZTArchiveList::Add(const QString& path) {
    if (!path.isEmpty() && !paths.contains(path)) paths.append(path);
}

void CZTArchiveList::Remove(const QString& path) { paths.removeAll(path); }

QStringList CZTSettings::MailAddresses() const {
    QStringList out;
    for (const QString& a : mail.addresses)
        if (!a.trimmed().isEmpty() && !out.contains(a.trimmed())) out.append(a.trimmed());
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty()) data = QDir::homePath() + QStringLiteral("/.local/share");
    QFile f(data + QStringLiteral("/zettrix/addresses"));
    if (f.open(QIODevice::ReadOnly) && f.size() < (1 << 20)) {
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QString a = QString::fromUtf8(line).trimmed();
            if (!a.isEmpty() && !out.contains(a)) out.append(a);
        }
    }
    return out;
}

void CZTSettings::SaveMailAddresses() {
    std::unique_ptr<QSettings> store = Open();
    store->setValue(QStringLiteral("Mail/Addresses"), mail.addresses);
}

void CZTSettings::SaveMail() {
    std::unique_ptr<QSettings> store = Open();
    store->setValue(QStringLiteral("Mail/Server"), mail.server);
    store->setValue(QStringLiteral("Mail/Port"), mail.port);
    store->setValue(QStringLiteral("Mail/TLS"), mail.tls);
    store->setValue(QStringLiteral("Mail/User"), mail.user);
    store->setValue(QStringLiteral("Mail/Sender"), mail.sender);
    store->remove(QStringLiteral("Mail/Password"));
}

void CZTSettings::Load() {
    std::unique_ptr<QSettings> store = Open();
    QSettings& s = *store;
    mail.server = s.value(QStringLiteral("Mail/Server")).toString();
    mail.port = s.value(QStringLiteral("Mail/Port"), 0).toInt();
    mail.tls = s.value(QStringLiteral("Mail/TLS"), QStringLiteral("STARTTLS")).toString();
    mail.user = s.value(QStringLiteral("Mail/User")).toString();
    mail.sender = s.value(QStringLiteral("Mail/Sender")).toString();
    mail.addresses = s.value(QStringLiteral("Mail/Addresses")).toStringList();
    s.beginGroup(QLatin1String(kPrefs));
    CZTPreferences def;
    prefs.mode = ReadInt(s, "Mode", def.mode);
    prefs.file = ReadString(s, "File");
    prefs.saveState = ReadInt(s, "SaveState", def.saveState);
    ForEachPreference(prefs, [&](const char* key, int& v) { v = ReadInt(s, key, v); });
    ForEachPreferenceString(prefs, [&](const char* key, QString& v) { v = ReadString(s, key, v); });
    if (prefs.defaultFont.isEmpty()) prefs.defaultFont = QStringLiteral("Arial");
    // Without a stored choice the ruler and the margins measure in the unit of
    // the user's measurement system: centimetres for metric locales.
    if (!s.contains(QStringLiteral("RulerUnit")))
        prefs.rulerUnit = QLocale().measurementSystem() == QLocale::MetricSystem ? 0 : 1;
    if (prefs.rulerUnit != 0) prefs.rulerUnit = 1;
    if (prefs.talkBarN < 0 || prefs.talkBarN > 8) prefs.talkBarN = 0;
    prefs.hosts.clear();
    for (int i = 0;; ++i) {
        QString h = ReadString(s, ("Host" + std::to_string(i)).c_str());
        if (h.isEmpty()) break;
        prefs.hosts.append(h);
    }
    if (s.contains(QStringLiteral("P11P12KeyUsage"))) prefs.p11p12KeyUsage = ReadInt(s, "P11P12KeyUsage", 0);
    prefs.treeItemToggleOnClick = ReadInt(s, "TreeItemToggleOnClick", 0);
    prefs.barState = s.value(QStringLiteral("BarState")).toByteArray();
    s.endGroup();

    s.beginGroup(QStringLiteral("Archives"));
    archives.paths.clear();
    for (int i = 0;; ++i) {
        QString p = ReadString(s, std::to_string(i).c_str());
        if (p.isEmpty()) break;
        archives.paths.append(p);
    }
    archives.autoAdd = ReadInt(s, "autoadd", 1);
    archives.autoRemove = ReadInt(s, "autoremove", 1);
    s.endGroup();

    s.beginGroup(QStringLiteral("Help"));
    help.hostAndPort = ReadString(s, "HostAndPort");
    help.scriptName = ReadString(s, "ScriptName", help.scriptName);
    help.userName = ReadString(s, "Username", help.userName);
    help.password = ReadString(s, "Password");
    help.document = ReadString(s, "Document", help.document);
    help.ident = ReadString(s, "Ident");
    help.ssl = ReadInt(s, "SSL", 1);
    s.endGroup();

    s.beginGroup(QStringLiteral("Recent File List"));
    recentFiles.clear();
    for (int i = 1; i <= kRecentFiles; ++i) {
        QString p = ReadString(s, ("File" + std::to_string(i)).c_str());
        if (!p.isEmpty()) recentFiles.append(p);
    }
    s.endGroup();
}

void CZTSettings::SaveWindowState() {
    if (prefs.saveState != 1) return;
    std::unique_ptr<QSettings> store = Open();
    QSettings& s = *store;
    s.beginGroup(QLatin1String(kPrefs));
    ForEachPreference(prefs, [&](const char* key, int& v) { s.setValue(QLatin1String(key), v); });
    ForEachPreferenceString(prefs, [&](const char* key, QString& v) { s.setValue(QLatin1String(key), v); });
    if (prefs.mode == 2) s.setValue(QStringLiteral("File"), prefs.file);
    int i = 0;
    for (const QString& h : prefs.hosts) s.setValue(QStringLiteral("Host%1").arg(i++), h);
    s.setValue(QStringLiteral("Host%1").arg(i), QString());
    if (prefs.p11p12KeyUsage) s.setValue(QStringLiteral("P11P12KeyUsage"), *prefs.p11p12KeyUsage);
    s.setValue(QStringLiteral("BarState"), prefs.barState);
    s.endGroup();
}

void CZTSettings::SaveArchiveList() {
    std::unique_ptr<QSettings> store = Open();
    QSettings& s = *store;
    s.beginGroup(QStringLiteral("Archives"));
    QStringList sorted = archives.paths;
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& a, const QString& b) { return QString::localeAwareCompare(a, b) < 0; });
    // Values beyond the list from an earlier, longer list go, so that the
    // list always ends at the first empty value.
    for (const QString& key : s.childKeys()) {
        bool number = false;
        key.toInt(&number);
        if (number) s.remove(key);
    }
    int i = 0;
    for (const QString& p : sorted) s.setValue(QString::number(i++), p);
    s.setValue(QString::number(i), QString());
    s.setValue(QStringLiteral("autoadd"), archives.autoAdd);
    s.setValue(QStringLiteral("autoremove"), archives.autoRemove);
    s.endGroup();
}

void CZTSettings::SaveRecentFiles() {
    std::unique_ptr<QSettings> store = Open();
    QSettings& s = *store;
    s.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= kRecentFiles; ++i) {
        QString key = QStringLiteral("File%1").arg(i);
        if (i <= recentFiles.size())
            s.setValue(key, recentFiles[i - 1]);
        else
            s.remove(key);
    }
    s.endGroup();
}

void CZTSettings::SaveMode() {
    std::unique_ptr<QSettings> store = Open();
    QSettings& s = *store;
    s.setValue(QStringLiteral("Preferences/Mode"), prefs.mode);
}

void CZTSettings::SaveFile() {
    std::unique_ptr<QSettings> store = Open();
    QSettings& s = *store;
    s.setValue(QStringLiteral("Preferences/File"), prefs.file);
}

void CZTSettings::AddRecentFile(const QString& path) {
    if (path.isEmpty()) return;
    recentFiles.removeAll(path);
    recentFiles.prepend(path);
    while (recentFiles.size() > kRecentFiles) recentFiles.removeLast();
}

void CZTSettings::RemoveRecentFile(const QString& path) { recentFiles.removeAll(path); }

} // namespace zt::ui
