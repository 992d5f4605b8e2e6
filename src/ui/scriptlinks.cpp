#include "ui/scriptlinks.h"

#include "base/bytes.h"
#include "base/cp1252.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "base/urlcode.h"
#include "core/archive.h"
#include "core/document.h"
#include "core/links.h"
#include "core/pagepaths.h"
#include "ui/leftview.h"
#include "ui/mainframe.h"
#include "ui/scriptconsole.h"

#include <QFileInfo>
#include <QHash>

namespace zt::ui {

namespace {

bool EndsWithJs(std::string_view s) {
    return s.size() > 3 && StartsWithNoCase(s.substr(s.size() - 3), ".js");
}

// The answers to "may this document run scripts?", for the session. A saved
// document is known by its file; an untitled one (new, a revision, a copy of
// a server document) only for as long as the window shows it.
class CZTScriptPermissions : public QObject {
public:
    explicit CZTScriptPermissions(CMainFrame& frame) : QObject(&frame), frame_(frame) {
        setObjectName(QStringLiteral("ScriptPermissions"));
        connect(&frame, &CMainFrame::documentChanged, this, [this] { ++shown_; });
    }

    static CZTScriptPermissions& Of(CMainFrame& frame) {
        // Known by its name: the class needs no meta object of its own.
        auto* p = frame.findChild<QObject*>(QStringLiteral("ScriptPermissions"), Qt::FindDirectChildrenOnly);
        return p ? *static_cast<CZTScriptPermissions*>(p) : *new CZTScriptPermissions(frame);
    }

    // Asks the first time, then gives the same answer.
    bool Allowed(const std::string& address) {
        const QString key = DocumentKey();
        const auto known = answers_.constFind(key);
        if (known != answers_.constEnd()) return known.value();
        const bool yes =
            frame_.CurrentPrompter().AskYesNo(FormatMessage(Msg::ScriptLinkQuestion, {address}));
        answers_.insert(key, yes);
        return yes;
    }

private:
    QString DocumentKey() const {
        const CZTArchive& archive = frame_.Document().Archive();
        if (archive.NeverSaved()) return QStringLiteral("untitled:%1").arg(shown_);
        const QFileInfo file(frame_.DocumentPath());
        const QString canonical = file.canonicalFilePath();
        return QStringLiteral("file:") + (canonical.isEmpty() ? file.absoluteFilePath() : canonical);
    }

    CMainFrame& frame_;
    quint64 shown_ = 0; // counts the documents the window has shown
    QHash<QString, bool> answers_;
};

// The window's console, made when needed; it shows once a script runs.
CZTScriptConsole& ConsoleOf(CMainFrame& frame) {
    auto* console = frame.findChild<CZTScriptConsole*>(QString(), Qt::FindDirectChildrenOnly);
    return console ? *console : *new CZTScriptConsole(frame, &frame);
}

// Reads and runs the script; `ask` first asks whether the document may.
bool RunAddress(CMainFrame& frame, const std::string& address, bool ask) {
    CZTScriptConsole& console = ConsoleOf(frame);
    // One script at a time; nothing runs without a current page.
    if (console.IsRunning() || !frame.TreeView()->CurrentPage()) return false;
    std::string source, error;
    if (!console.FetchAddress(QString::fromStdString(address), source, error)) {
        frame.CurrentPrompter().Message(error, Prompter::Icon::Warning);
        return false;
    }
    if (ask && !CZTScriptPermissions::Of(frame).Allowed(address)) return false;
    ShowScriptConsole(frame);
    return console.RunSource(source, address);
}

} // namespace

std::string ScriptAddressOfLink(std::string_view utf8Text, const CZTPageTree& tree, const CZTPageNode* current) {
    const std::string text = TrimWhite(utf8Text);
    const std::string_view t = text;
    if ((StartsWithNoCase(t, "zt:/") || StartsWithNoCase(t, "ztf:/")) && t.find_first_of("?;") != t.npos)
        return text;
    if (StartsWithNoCase(t, "file:/")) return EndsWithJs(t) ? text : std::string();
    const LinkTarget link = ParseLink(t);
    if (link.kind != LinkKind::File || !EndsWithJs(link.fileName)) return {};
    const CZTPageNode* page = ResolvePath(tree, current, link.path);
    if (!page) return {};
    return "ztf:/?" + Cp1252ToUtf8(LinkPath(page)) + "/" + Cp1252ToUtf8(UrlFormEncode(link.fileName));
}

QString ScriptAddressOfArgument(const QString& value) {
    const std::string v = value.toStdString();
    if (StartsWithNoCase(v, "zt:/") || StartsWithNoCase(v, "ztf:/") || StartsWithNoCase(v, "file:/")) return value;
    return QStringLiteral("file:") + QFileInfo(value).absoluteFilePath();
}

bool RunScriptLink(CMainFrame& frame, const QString& linkText) {
    const std::string address =
        ScriptAddressOfLink(linkText.toStdString(), frame.Document().Tree(), frame.TreeView()->CurrentPage());
    if (address.empty()) return false;
    RunAddress(frame, address, true);
    return true;
}

bool RunScriptAddress(CMainFrame& frame, const QString& address) {
    return RunAddress(frame, address.toStdString(), false);
}

} // namespace zt::ui
