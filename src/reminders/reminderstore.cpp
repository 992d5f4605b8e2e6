#include "reminders/reminderstore.h"

#include "base/fileio.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "base/system.h"
#include "core/document.h"
#include "core/extbytes.h"
#include "core/pagepaths.h"
#include "security/crypto.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace zt {

namespace {

constexpr size_t kTagSize = 32;
constexpr size_t kApprovalEntry = 1 + kTagSize;
constexpr size_t kMaxApprovals = 512;

void PutInt(std::string& out, int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char((uint32_t(v) >> (8 * i)) & 0xFF));
}
int32_t GetInt(std::string_view in, size_t at) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t(uint8_t(in[at + size_t(i)])) << (8 * i);
    return int32_t(u);
}

struct ApprovalEntry {
    bool allowed;
    std::string tag;
};

std::vector<ApprovalEntry> ReadApprovals(const CZTDocument& doc) {
    std::vector<ApprovalEntry> out;
    std::string_view data;
    if (!doc.Archive().GetExtItem(-1, kExtMailApprovals, data) || data.size() < 8) return out;
    if (GetInt(data, 0) != 1) return out;
    const int64_t n = GetInt(data, 4);
    if (n < 0 || data.size() != 8 + uint64_t(n) * kApprovalEntry) return out;
    for (int64_t i = 0; i < n; ++i) {
        const size_t at = 8 + size_t(i) * kApprovalEntry;
        out.push_back({data[at] == 1, std::string(data.substr(at + 1, kTagSize))});
    }
    return out;
}

bool WriteApprovals(CZTDocument& doc, std::vector<ApprovalEntry> entries) {
    if (entries.size() > kMaxApprovals) entries.erase(entries.begin(), entries.end() - kMaxApprovals);
    std::string data;
    if (!entries.empty()) {
        PutInt(data, 1);
        PutInt(data, int32_t(entries.size()));
        for (const auto& e : entries) {
            data.push_back(e.allowed ? 1 : 0);
            data += e.tag;
        }
    }
    std::string_view old;
    const bool had = doc.Archive().GetExtItem(-1, kExtMailApprovals, old);
    if ((had ? std::string(old) : std::string()) == data) return false;
    doc.Archive().SetExtItem(-1, kExtMailApprovals, data);
    return true;
}

std::string Tag(const CZTApproval& a, bool allowed, const CZTDocument& doc, const CZTReminder& r) {
    std::string msg = "zettrix-mail-approval\n";
    msg += a.user + '\0' + (allowed ? "1" : "0") + '\0' + r.address + '\0' + r.recipient + '\0' +
           std::to_string(r.flags & (kReminderMail | kReminderAttach | kReminderSubtree)) + '\0' +
           ReminderPagePath(doc, r.page);
    return std::string(HmacSha256(a.key, msg).view());
}

// 1 allowed, 0 refused, -1 unknown.
int Lookup(const std::vector<ApprovalEntry>& entries, const CZTApproval& a, const CZTDocument& doc,
           const CZTReminder& r) {
    if (a.key.empty()) return -1;
    const std::string yes = Tag(a, true, doc, r), no = Tag(a, false, doc, r);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->allowed && it->tag == yes) return 1;
        if (!it->allowed && it->tag == no) return 0;
    }
    return -1;
}

std::string PropertyOf(const CZTDocument& doc, int32_t ident) {
    std::string_view data;
    return doc.Archive().GetExtItem(ident, kExtReminders, data) ? std::string(data) : std::string();
}

bool SetProperty(CZTDocument& doc, int32_t ident, const std::string& data) {
    if (PropertyOf(doc, ident) == data) return false;
    doc.Archive().SetExtItem(ident, kExtReminders, data);
    return true;
}

} // namespace

std::string DefaultApprovalKeyPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base = data && *data ? data : "";
    if (base.empty()) {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "/tmp") + "/.local/share";
    }
    return base + "/zettrix/reminder.key";
}

namespace {

// The key when `path` holds one (32 bytes or more).
bool ReadApprovalKey(const std::string& path, std::string& key) {
    key.assign(kTagSize, '\0');
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t got = 0;
    while (got < key.size()) {
        const ssize_t n = read(fd, key.data() + got, key.size() - got);
        if (n <= 0) break;
        got += size_t(n);
    }
    close(fd);
    return got == key.size();
}

} // namespace

std::string LoadApprovalKey(const std::string& path) {
    std::string key;
    if (ReadApprovalKey(path, key)) return key;
    struct stat st;
    const bool damaged = stat(path.c_str(), &st) == 0;
    const std::string dir = path.substr(0, path.rfind('/'));
    for (size_t p = 1; p <= dir.size(); ++p)
        if (p == dir.size() || dir[p] == '/') mkdir(dir.substr(0, p).c_str(), 0700);
    if (!RandomBytes(key.data(), key.size())) return {};
    // Readable by the user alone, also when it replaces a damaged key file.
    CAtomicFileWriter file;
    file.SetMode(0600, CAtomicFileWriter::ModeFor::Always);
    if (!file.Open(path, CAtomicFileWriter::Direct::Refuse) || !file.Write(key)) return {};
    if (damaged) return file.Commit() ? key : std::string();
    // A new key never replaces one that another instance made meanwhile:
    // then that one counts.
    if (file.KeepAs(file.Target())) return key;
    return file.ErrorNumber() == EEXIST && ReadApprovalKey(path, key) ? key : std::string();
}

std::string ReminderPagePath(const CZTDocument& doc, int32_t page) {
    if (page == 0) return {};
    const CZTPageNode* node = doc.Tree().FindPage(page);
    return node ? PagePath(node) : std::string();
}

void LoadReminders(CZTDocument& doc, CZTReminderList& list, const CZTReminderOptions& options) {
    std::vector<int32_t> owners{-1};
    for (const auto& e : doc.Tree().BuildPageList()) owners.push_back(e.ident);
    std::vector<CZTReminder> read;
    for (int32_t ident : owners) {
        std::string_view data;
        if (!doc.Archive().GetExtItem(ident, kExtReminders, data)) continue;
        if (!options.openAll) {
            doc.Archive().SetExtItem(ident, kExtReminders, {});
            continue;
        }
        DecodeReminders(data, ident < 0 ? 0 : ident, read); // a malformed property is ignored
    }
    for (auto& r : read) {
        r.decided = false;
        r.mayMail = false;
    }
    for (auto& r : read) list.Add(std::move(r));
}

bool ApproveMailReminders(CZTDocument& doc, CZTReminderList& list, const CZTApproval& approval,
                          Prompter& prompter) {
    std::vector<ApprovalEntry> entries = ReadApprovals(doc);
    std::vector<CZTReminder*> unknown;
    for (auto& r : list.Items()) {
        if (!r.Mail()) continue;
        const int state = Lookup(entries, approval, doc, r);
        r.mayMail = state == 1;
        r.decided = state != -1;
        if (state == -1) unknown.push_back(&r);
    }
    if (unknown.empty()) return false;
    const bool yes = prompter.AskYesNo(MessageText(Msg::ReminderMailApproval));
    for (CZTReminder* r : unknown) {
        r->mayMail = yes;
        r->decided = true;
    }
    if (!approval.key.empty()) {
        for (CZTReminder* r : unknown) entries.push_back({yes, Tag(approval, yes, doc, *r)});
        if (WriteApprovals(doc, std::move(entries))) doc.SetModified();
    }
    return true;
}

bool StoreReminders(CZTDocument& doc, CZTReminderList& list, int64_t now, const CZTApproval* approval) {
    list.Reschedule(now);
    bool changed = false;
    std::set<const CZTReminder*> written;
    for (const auto& e : doc.Tree().BuildPageList()) {
        std::vector<const CZTReminder*> mine;
        for (const auto& r : list.Items())
            if (r.page == e.ident && r.time > now) mine.push_back(&r);
        changed |= SetProperty(doc, e.ident, mine.empty() ? std::string() : EncodeReminders(mine));
        written.insert(mine.begin(), mine.end());
    }
    std::vector<const CZTReminder*> rest;
    for (const auto& r : list.Items())
        if (!written.count(&r)) rest.push_back(&r);
    changed |= SetProperty(doc, -1, rest.empty() ? std::string() : EncodeReminders(rest));

    if (approval && !approval->key.empty()) {
        std::vector<ApprovalEntry> entries = ReadApprovals(doc);
        for (const auto& r : list.Items()) {
            if (!r.Mail() || !r.decided || Lookup(entries, *approval, doc, r) == (r.mayMail ? 1 : 0)) continue;
            entries.push_back({r.mayMail, Tag(*approval, r.mayMail, doc, r)});
        }
        changed |= WriteApprovals(doc, std::move(entries));
    }
    if (changed) doc.SetModified();
    return changed;
}

CZTPartialReminderGuard::CZTPartialReminderGuard(CZTDocument& doc, const CZTReminderOptions& options) : doc_(doc) {
    CZTDocCore& core = doc.Archive().Core();
    docExt_ = core.docExt;
    if (!options.expRoot) {
        core.SetExtItem(-1, kExtReminders, {});
        core.SetExtItem(-1, kExtMailApprovals, {});
    }
    if (!options.expPage) {
        for (const auto& e : doc.Tree().BuildPageList()) {
            std::string_view data;
            if (!core.GetExtItem(e.ident, kExtReminders, data)) continue;
            pageExt_.emplace_back(e.ident, core.Node(e.ident)->ext);
            core.SetExtItem(e.ident, kExtReminders, {});
        }
    }
}

CZTPartialReminderGuard::~CZTPartialReminderGuard() {
    CZTDocCore& core = doc_.Archive().Core();
    core.docExt = docExt_;
    for (auto& [ident, ext] : pageExt_)
        if (CZTNode* n = core.Node(ident)) n->ext = std::move(ext);
}

} // namespace zt
