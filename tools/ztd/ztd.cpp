#include "ztd.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/pagepaths.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace ztd {

void TerminalPrompter::Message(std::string_view text, Icon icon) {
    const char* prefix = icon == Icon::Warning ? "Warnung: " : (icon == Icon::Information ? "" : "Fehler: ");
    std::cerr << prefix << text << "\n";
}

bool TerminalPrompter::AskYesNo(std::string_view text) {
    if (assumeYes) return true;
    if (!isatty(STDIN_FILENO)) {
        std::cerr << text << " -> Nein\n";
        return false;
    }
    std::cerr << text << " [j/N] ";
    std::string answer;
    std::getline(std::cin, answer);
    return !answer.empty() && (answer[0] == 'j' || answer[0] == 'J' || answer[0] == 'y' || answer[0] == 'Y');
}

int Context::Fail(const std::string& message) {
    std::cerr << "Fehler: " << message << "\n";
    return kDocError;
}

bool Context::Open(const std::string& path) {
    docPath = path;
    return doc.Open(path);
}

CZTPageNode* Context::Page(const std::string& pathUtf8) {
    std::string path = zt::Utf8ToCp1252(pathUtf8);
    CZTPageNode* node = path.empty() ? nullptr : zt::ResolvePath(doc.Tree(), nullptr, path);
    if (!node) std::cerr << zt::FormatMessage(zt::Msg::PageNotFound, {pathUtf8}) << "\n";
    return node;
}

int Context::SaveBack() { return doc.Save(docPath) ? kOk : kDocError; }

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out.push_back(char(c));
            }
        }
    }
    return out + "\"";
}

std::string U8(std::string_view cp1252) { return zt::Cp1252ToUtf8(cp1252); }

std::string TimeText(int32_t t) {
    std::time_t tt = t;
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string Hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

bool ReadFileBytes(const std::string& path, std::string& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream ss;
    ss << f.rdbuf();
    out = ss.str();
    return true;
}

} // namespace ztd
