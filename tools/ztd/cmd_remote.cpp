// ztd remote: documents on the document server.
//   ztd remote --url URL --user NAME ls
//   ztd remote --url URL --user NAME get DOC -o local.ztd
//   ztd remote --url URL --user NAME cat DOC PATH [--text]
//   ztd remote --url URL --user NAME put local.ztd DOC
//   ztd remote --url URL --user NAME admin add|del|rename|rights|passwd ...
// The password comes from ZT_PASSWORD or a prompt without echo; a new
// password (admin passwd) from ZT_NEW_PASSWORD or a prompt. The server
// certificates the user trusted are kept with the program's settings.

#include "ztd.h"

#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "core/pagepaths.h"
#include "exchange/rtfhtml/rtfconverter.h"
#include "remote/link.h"
#include "remote/remotedoc.h"
#include "text/pagertf.h"

#ifdef ZT_HAVE_QT
#include <QByteArray>
#include <QSettings>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>

namespace ztd {

namespace {

#ifdef ZT_HAVE_QT
// The trusted list in the program's settings ("Certificates" / "ServerSSL").
class SettingsTrustStore : public zt::remote::TrustStore {
public:
    std::string Load() override {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zettrix Applications"),
                    QStringLiteral("Zettrix"));
        QByteArray b = s.value(QStringLiteral("Certificates/ServerSSL")).toByteArray();
        return std::string(b.constData(), size_t(b.size()));
    }
    void Save(const std::string& der) override {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zettrix Applications"),
                    QStringLiteral("Zettrix"));
        s.setValue(QStringLiteral("Certificates/ServerSSL"), QByteArray(der.data(), qsizetype(der.size())));
        s.sync();
    }
};
#else
// Without Qt the trusted list is a file of its own beside the settings.
class SettingsTrustStore : public zt::remote::TrustStore {
public:
    std::string Load() override {
        std::string bytes, error;
        if (!zt::ReadWholeFile(Path(), bytes, &error)) return {};
        return bytes;
    }
    void Save(const std::string& der) override {
        std::string error;
        const std::string path = Path();
        std::error_code ec;
        std::filesystem::create_directories(path.substr(0, path.rfind('/')), ec);
        if (!zt::WriteFileReplacing(path, der, &error)) std::cerr << "Fehler: " << error << "\n";
    }

private:
    static std::string Path() {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        std::string dir = xdg && *xdg ? xdg : std::string(home ? home : ".") + "/.config";
        return dir + "/Zettrix Applications/ServerSSL.der";
    }
};
#endif

bool Password(const char* env, const std::string& prompt, std::string& out) {
    if (const char* p = std::getenv(env)) {
        out = p;
        return true;
    }
    if (!HaveTerminal()) return false;
    return ReadTerminalLine(prompt, true, out);
}

struct Session {
    SettingsTrustStore trust;
    std::unique_ptr<zt::remote::CServerLink> link;
};

int OpenSession(Context& c, const Args& a, Session& s) {
    if (!a.Has("--url") || !a.Has("--user")) return kUsage;
    std::string url = a.Get("--url");
    bool ssl = url.rfind("https://", 0) == 0 || url.rfind("HTTPS://", 0) == 0;
    if (ssl) url = url.substr(8);
    auto addr = zt::remote::ParseTypedAddress(url);
    if (!addr || addr->otherScheme) return c.Fail(zt::FormatMessage(zt::Msg::RemoteBadAddress, {a.Get("--url")}));
    zt::remote::Connection conn;
    conn.user = zt::Utf8ToCp1252(a.Get("--user"));
    conn.hostPort = addr->hostPort;
    conn.scriptPath = addr->scriptPath;
    conn.ssl = ssl;
    if (!Password("ZT_PASSWORD", "Passwort für " + a.Get("--user") + ": ", conn.password))
        return c.Fail(zt::MessageText(zt::Msg::RemoteNoPassword));
    conn.password = zt::Utf8ToCp1252(conn.password);
    s.link = std::make_unique<zt::remote::CServerLink>(c.prompter, conn);
    auto& t = s.link->Transport();
    t.trust = &s.trust;
    t.askTrust = [&c](const std::string& der) {
        std::string text = std::string(zt::MessageText(zt::Msg::RemoteCertUnknown)) + "\n\n" +
                           zt::remote::DescribeCertificate(der) + "\n\n" + zt::MessageText(zt::Msg::RemoteCertTrust) +
                           "?";
        return c.prompter.AskYesNo(text) ? zt::remote::TrustDecision::Trust : zt::remote::TrustDecision::Refuse;
    };
    t.askMissing = [&c] { return !c.prompter.AskYesNo(zt::MessageText(zt::Msg::RemoteCertMissing)); };
    return kOk;
}

// The document of that name in the content list.
bool FindDocument(Context& c, zt::remote::CServerLink& link, const std::string& nameUtf8, zt::srv::ContentDoc& out) {
    zt::srv::GetContentAnswer list;
    if (!link.LoadContentList(list)) return false;
    std::string name = zt::Utf8ToCp1252(nameUtf8);
    for (const auto& d : list.docs)
        if (d.name == name) {
            out = d;
            return true;
        }
    c.Fail(zt::FormatMessage(zt::Msg::RemoteNoSuchDocument, {nameUtf8}));
    return false;
}

const char* RightSuffix(int right) {
    switch (right) {
    case 2: return " (rw)";
    case 3: return " (rwg)";
    case 4: return " (rwgg)";
    default: return " (r)";
    }
}

int Ls(Context& c, Session& s) {
    zt::srv::GetContentAnswer list;
    if (!s.link->LoadContentList(list)) return kDocError;
    for (const auto& d : list.docs) std::cout << U8(d.name) << RightSuffix(d.right) << "\t" << d.ident << "\n";
    return kOk;
}

int Get(Context& c, Session& s, const Args& a, const std::vector<std::string>& rest) {
    if (rest.size() < 2 || !a.Has("-o")) return kUsage;
    zt::srv::ContentDoc d;
    if (!FindDocument(c, *s.link, rest[1], d)) return kDocError;
    zt::remote::CRemoteDocument doc(*s.link);
    if (!doc.Open(d.name, d.ident, false)) return kDocError;
    if (!doc.CopyToLocal(c.doc)) return kDocError;
    return c.doc.Save(a.Get("-o")) ? kOk : kDocError;
}

int Cat(Context& c, Session& s, const Args& a, const std::vector<std::string>& rest) {
    if (rest.size() < 3) return kUsage;
    zt::srv::ContentDoc d;
    if (!FindDocument(c, *s.link, rest[1], d)) return kDocError;
    zt::remote::CRemoteDocument doc(*s.link);
    if (!doc.Open(d.name, d.ident, false)) return kDocError;
    // The path is resolved on a tree of the titles alone: only the page
    // asked for is fetched.
    std::vector<std::string> indicators;
    for (int p = 1; p <= doc.PageCount(); ++p) indicators.push_back(doc.Entry(p).indicator);
    std::vector<int> depths = zt::remote::IndicatorDepths(indicators);
    std::map<int32_t, int> positions;
    std::vector<CZTPageNode*> parents;
    c.doc.New();
    for (int p = 1; p <= doc.PageCount(); ++p) {
        parents.resize(size_t(std::min<int>(depths[size_t(p - 1)], int(parents.size()))));
        CZTPageNode* n = c.doc.AddPage(parents.empty() ? nullptr : parents.back(), doc.Entry(p).title);
        positions[n->Ident()] = p;
        parents.push_back(n);
    }
    CZTPageNode* node = c.Page(rest[2]);
    if (!node) return kDocError;
    CZTPageRecord r = doc.GetPage(positions[node->Ident()]);
    if (!r.valid) return c.Fail(zt::FormatMessage(zt::Msg::RemotePageFetchFailed,
                                                  {doc.Entry(positions[node->Ident()]).failure}));
    const std::string* text = r.GetText();
    if (!a.Has("--text")) {
        if (text) std::cout.write(text->data(), std::streamsize(text->size()));
        return kOk;
    }
    const std::string rtf = zt::TextToPageRtf(text ? *text : std::string(), 10, false);
    zt::RtfConverter converter;
    std::string out;
    if (!converter.RtfToText(rtf, zt::RtfTextMode::Utf8, out)) return c.Fail(zt::MessageText(zt::Msg::TextNotConvertible));
    std::cout << out;
    return kOk;
}

int Put(Context& c, Session& s, const std::vector<std::string>& rest) {
    if (rest.size() < 3) return kUsage;
    if (!c.Open(rest[1])) return kDocError;
    zt::srv::ContentDoc d;
    if (!FindDocument(c, *s.link, rest[2], d)) return kDocError;
    zt::remote::CRemoteDocument doc(*s.link);
    if (!doc.Open(d.name, d.ident, true)) return kDocError;
    if (!doc.Writable()) return c.Fail(zt::MessageText(zt::Msg::RemoteOpenForWriteFailed));
    if (!doc.ReplaceWith(c.doc)) return kDocError;
    bool ok = doc.Save();
    doc.Close();
    return ok ? kOk : kDocError;
}

int Admin(Context& c, Session& s, const std::vector<std::string>& rest) {
    if (rest.size() < 2) return kUsage;
    const std::string& what = rest[1];
    auto& link = *s.link;
    if (what == "add" && rest.size() >= 3) return link.CreateDocument(zt::Utf8ToCp1252(rest[2])) ? kOk : kDocError;
    if (what == "passwd") {
        std::string pw, again;
        const std::string newLabel = std::string(zt::MessageText(zt::Msg::RemoteNewPasswordLabel)) + ": ";
        const std::string repeatLabel = std::string(zt::MessageText(zt::Msg::RemoteRepeatPasswordLabel)) + ": ";
        if (!Password("ZT_NEW_PASSWORD", newLabel, pw)) return c.Fail(zt::MessageText(zt::Msg::RemoteNewPasswordEmpty));
        if (!std::getenv("ZT_NEW_PASSWORD") && (!ReadTerminalLine(repeatLabel, true, again) || again != pw))
            return c.Fail(zt::MessageText(zt::Msg::RemoteNewPasswordMismatch));
        if (pw.empty()) return c.Fail(zt::MessageText(zt::Msg::RemoteNewPasswordEmpty));
        if (pw.size() < 4) return c.Fail(zt::MessageText(zt::Msg::RemoteNewPasswordShort));
        return link.ChangePassword(zt::Utf8ToCp1252(pw)) ? kOk : kDocError;
    }
    if (rest.size() < 3) return kUsage;
    zt::srv::ContentDoc d;
    if (!FindDocument(c, link, rest[2], d)) return kDocError;
    if (what == "del") return link.DeleteDocument(d.name, d.ident) ? kOk : kDocError;
    std::vector<zt::srv::UserRight> users;
    std::vector<std::string> all;
    if (!link.ReadDocumentUsers(d.name, d.ident, users, all)) return kDocError;
    if (what == "rename" && rest.size() >= 4)
        return link.ChangeDocument(d.name, d.ident, zt::Utf8ToCp1252(rest[3]), users) ? kOk : kDocError;
    if (what == "rights") {
        if (rest.size() == 3) {
            for (const auto& u : users) std::cout << U8(u.name) << RightSuffix(u.right) << "\n";
            return kOk;
        }
        // USER=r|rw|rwg|rwgg|-
        for (size_t i = 3; i < rest.size(); ++i) {
            auto eq = rest[i].find('=');
            if (eq == std::string::npos) return kUsage;
            std::string name = zt::Utf8ToCp1252(rest[i].substr(0, eq));
            std::string r = rest[i].substr(eq + 1);
            int right = r == "r" ? 1 : r == "rw" ? 2 : r == "rwg" ? 3 : r == "rwgg" ? 4 : r == "-" ? 0 : -1;
            if (right < 0) return kUsage;
            auto it = std::find_if(users.begin(), users.end(), [&](const auto& u) { return u.name == name; });
            if (right == 0) {
                if (it != users.end()) users.erase(it);
            } else if (it != users.end()) {
                it->right = right;
            } else {
                users.push_back({name, right});
            }
        }
        return link.ChangeDocument(d.name, d.ident, d.name, users) ? kOk : kDocError;
    }
    return kUsage;
}

int Remote(Context& c, const Args& a) {
    // positional: "remote", sub-command, its arguments.
    std::vector<std::string> rest(a.positional.begin() + 1, a.positional.end());
    if (rest.empty()) return kUsage;
    Session s;
    if (int rc = OpenSession(c, a, s); rc != kOk) return rc;
    const std::string& sub = rest[0];
    if (sub == "ls") return Ls(c, s);
    if (sub == "get") return Get(c, s, a, rest);
    if (sub == "cat") return Cat(c, s, a, rest);
    if (sub == "put") return Put(c, s, rest);
    if (sub == "admin") return Admin(c, s, rest);
    return kUsage;
}

} // namespace

void AddRemoteCommands(std::vector<Command>& commands) {
    commands.push_back({"remote", 1, Remote,
                        "remote --url URL --user NAME ls|get DOK -o DATEI|cat DOK PFAD [--text]|put DATEI DOK|"
                        "admin add|del|rename|rights|passwd ...  Dokumente auf dem Server",
                        "--url --user -o --text"});
}

} // namespace ztd
