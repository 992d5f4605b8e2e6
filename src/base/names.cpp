#include "names.h"

#include <sys/stat.h>

namespace zt {

namespace {

size_t LastSeparator(std::string_view path) {
    size_t a = path.rfind('/');
    size_t b = path.rfind('\\');
    if (a == std::string_view::npos) return b;
    if (b == std::string_view::npos) return a;
    return a > b ? a : b;
}

} // namespace

std::string FileNamePart(std::string_view path) {
    size_t sep = LastSeparator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string DirectoryPart(std::string_view path) {
    size_t sep = LastSeparator(path);
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

std::string DiskNameRule(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        switch (c) {
        case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|': case '%':
        case '&':
            c = '-';
            break;
        default:
            break;
        }
    }
    if (out.empty() || out.back() == '.') out.push_back('!');
    return out;
}

std::string NumberedName(std::string_view path, int n) {
    size_t sep = LastSeparator(path);
    size_t nameStart = sep == std::string_view::npos ? 0 : sep + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart) dot = path.size();
    std::string out(path.substr(0, dot));
    out += " (#" + std::to_string(n) + ")";
    out += path.substr(dot);
    return out;
}

std::string MakeUniqueName(std::string_view path, const std::function<bool(const std::string&)>& exists) {
    std::string candidate(path);
    for (int n = 1; exists(candidate); ++n) candidate = NumberedName(path, n);
    return candidate;
}

std::string MakeUniquePath(std::string_view path) {
    return MakeUniqueName(path, [](const std::string& p) {
        struct stat st;
        return lstat(p.c_str(), &st) == 0;
    });
}

bool IsSafeRelativePath(std::string_view relative) {
    if (relative.empty()) return false;
    if (relative.find('\0') != std::string_view::npos) return false;
    // A drive letter or a UNC name is never relative.
    if (relative.size() >= 2 && relative[1] == ':') return false;
    if (relative.size() >= 2 && (relative[0] == '/' || relative[0] == '\\') &&
        (relative[1] == '/' || relative[1] == '\\'))
        return false;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = relative.size();
        std::string_view seg = relative.substr(start, end - start);
        if (seg == "..") return false;
        start = end + 1;
    }
    return true;
}

std::string JoinPath(std::string_view base, std::string_view relative) {
    std::string out(base);
    while (!out.empty() && out.size() > 1 && (out.back() == '/')) out.pop_back();
    std::string rel(relative);
    for (char& c : rel)
        if (c == '\\') c = '/';
    if (rel.empty()) return out;
    if (rel.front() != '/') out.push_back('/');
    out += rel;
    return out;
}

} // namespace zt
