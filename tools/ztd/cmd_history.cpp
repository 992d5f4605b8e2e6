// The version history of a document: listing its revisions, writing one of
// them out as a document of its own, hiding, showing again and forgetting a
// revision, and removing the whole history.
#include "ztd.h"

#include "base/cp1252.h"
#include "base/messages.h"

#include <cstdlib>
#include <iostream>

namespace ztd {

namespace {

// The revision named by TIME: seconds since 1970 or its label.
const CZTRevisionKey* FindRevision(const std::vector<CZTRevisionKey>& keys, const std::string& time) {
    const bool digits = !time.empty() && time.find_first_not_of("0123456789") == std::string::npos;
    for (const auto& k : keys) {
        if (digits ? std::to_string(k.time) == time : CZTHistory::RevisionLabel(k.time) == time) return &k;
    }
    return nullptr;
}

int List(Context& c, const Args& a) {
    const CZTHistory& history = c.doc.Archive().Core().history;
    std::vector<CZTRevisionKey> keys;
    history.ListRevisions(keys);
    const bool all = a.Has("--all"), json = a.Has("--json");
    bool first = true;
    if (json) std::cout << "[";
    for (const auto& k : keys) {
        if (!k.visible && !all) continue;
        const std::string label = CZTHistory::RevisionLabel(k.time);
        if (json) {
            std::cout << (first ? "" : ",") << "\n {\"label\":" << JsonString(label) << ",\"time\":" << k.time
                      << ",\"visible\":" << (k.visible ? "true" : "false") << "}";
        } else {
            std::cout << label << "  " << k.time << (k.visible ? "" : "  verdeckt") << "\n";
        }
        first = false;
    }
    if (json) std::cout << (first ? "]\n" : "\n]\n");
    return kOk;
}

// Writes the body of a revision as a plain document. Works from the history
// alone, so that intact revisions can be had when the newest is damaged.
int Show(Context& c, const Args& a) {
    if (a.positional.size() < 4 || !a.Has("-o")) return kUsage;
    const CZTHistory& history = c.doc.Archive().Core().history;
    std::vector<CZTRevisionKey> keys;
    history.ListRevisions(keys);
    const CZTRevisionKey* key = FindRevision(keys, a.positional[3]);
    if (!key) return c.Fail(zt::FormatMessage(zt::Msg::RevisionNotFound, {a.positional[3]}));
    const std::string label = CZTHistory::RevisionLabel(key->time);
    std::string body, error;
    if (!history.GetRevisionBody(key->time, key->visible, body, &error))
        return c.Fail(zt::FormatMessage(zt::Msg::RevisionDamaged, {label, error}));
    CZTDocument shown(c.prompter);
    if (!shown.OpenRevisionBody(body, c.doc.Archive().Header().title + ": " + label)) return kDocError;
    CZTArchive::CopyOptions options;
    options.keepHeader = true;
    return shown.Archive().SaveCopy(a.Get("-o"), shown.Tree().BuildPageList(), options) ? kOk : kDocError;
}

int Change(Context& c, const Args& a, int action) {
    if (a.positional.size() < 4) return kUsage;
    CZTHistory& history = c.doc.Archive().Core().history;
    std::vector<CZTRevisionKey> keys;
    history.ListRevisions(keys);
    const CZTRevisionKey* key = FindRevision(keys, a.positional[3]);
    if (!key) return c.Fail(zt::FormatMessage(zt::Msg::RevisionNotFound, {a.positional[3]}));
    if (!history.ChangeRevision(*key, action))
        return c.Fail(zt::FormatMessage(zt::Msg::FunctionFailed, {"ChangeRevision"}));
    c.doc.SetModified();
    return c.SaveBack();
}

int History(Context& c, const Args& a) {
    const std::string action = a.positional.size() > 2 ? a.positional[2] : std::string();
    if (action.empty() || action == "show") {
        c.docPath = a.positional[1];
        if (!c.doc.Archive().OpenHistory(c.docPath)) return kDocError;
        return action.empty() ? List(c, a) : Show(c, a);
    }
    int change = -1;
    if (action == "hide") change = CZTHistory::Hide;
    if (action == "unhide") change = CZTHistory::Show;
    if (action == "forget") change = CZTHistory::RemoveReference;
    if (change < 0 && action != "clear") return kUsage;
    if (!c.Open(a.positional[1])) return kDocError;
    if (change >= 0) return Change(c, a, change);
    // Removing a history that is not there changes nothing.
    if (!c.doc.Archive().Core().history.RemoveHistory()) return kOk;
    c.doc.SetModified();
    return c.SaveBack();
}

} // namespace

void AddHistoryCommands(std::vector<Command>& commands) {
    commands.push_back({"history", 1, History,
                        "history DOC [--all] [--json]         Versionen (ältere zuerst; --all mit verdeckten)\n"
                        "  history DOC show ZEIT -o AUSGABE     Version als eigenes Dokument schreiben\n"
                        "  history DOC hide|unhide|forget ZEIT  Version verdecken, zeigen, Hinweis löschen\n"
                        "  history DOC clear                    History entfernen\n"
                        "  (ZEIT: Sekunden seit 1970 oder \"JJJJ-MM-TT hh:mm:ss\")"});
}

} // namespace ztd
