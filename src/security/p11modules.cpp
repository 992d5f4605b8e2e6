#include "security/p11modules.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#ifndef ZT_P11_MODULE_CONFIGS
#define ZT_P11_MODULE_CONFIGS "/usr/share/p11-kit/modules"
#endif
#ifndef ZT_P11_MODULE_PATH
#define ZT_P11_MODULE_PATH "/usr/lib/x86_64-linux-gnu/pkcs11"
#endif

namespace zt {

namespace {

constexpr size_t kMaxConfigBytes = 64 * 1024;

std::string Trim(std::string s) {
    const char* space = " \t\r\n";
    s.erase(0, s.find_first_not_of(space));
    s.erase(s.find_last_not_of(space) + 1);
    return s;
}

// The "key: value" lines of a config file ("#" starts a comment).
std::map<std::string, std::string> ReadConfig(const std::filesystem::path& file) {
    std::map<std::string, std::string> values;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) || std::filesystem::file_size(file, ec) > kMaxConfigBytes)
        return values;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        values[Trim(line.substr(0, colon))] = Trim(line.substr(colon + 1));
    }
    return values;
}

// Whether a comma-separated program list names this program.
bool Names(const std::string& list, const std::string& program) {
    std::stringstream s(list);
    std::string item;
    while (std::getline(s, item, ','))
        if (Trim(item) == program) return true;
    return false;
}

bool Yes(const std::string& v) { return v == "yes" || v == "true"; }

} // namespace

std::vector<std::string> P11KitConfigDirectories() {
    std::vector<std::string> dirs;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) dirs.push_back(std::string(xdg) + "/pkcs11/modules");
    else if (const char* home = std::getenv("HOME"); home && *home) dirs.push_back(std::string(home) + "/.config/pkcs11/modules");
    dirs.push_back("/etc/pkcs11/modules");
    dirs.push_back(ZT_P11_MODULE_CONFIGS);
    return dirs;
}

std::vector<CZtP11Module> ListP11KitModules(const std::vector<std::string>& directories,
                                            const std::string& moduleDirectory) {
    std::vector<CZtP11Module> out;
    std::set<std::string> seen;
    for (const std::string& dir : directories) {
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator();
             it.increment(ec))
            if (it->path().extension() == ".module") files.push_back(it->path());
        for (const auto& file : files) {
            const std::string name = file.stem().string();
            if (!seen.insert(name).second) continue; // the earlier directory's file wins
            auto config = ReadConfig(file);
            const std::string module = config["module"];
            if (module.empty()) continue;
            if (Yes(config["trust-policy"]) || name == "p11-kit-trust") continue;
            if (config.count("enable-in") && !Names(config["enable-in"], "zettrix")) continue;
            if (Names(config["disable-in"], "zettrix")) continue;
            if (config.count("enable") && !Yes(config["enable"])) continue;
            std::filesystem::path path(module);
            if (path.is_relative()) path = std::filesystem::path(moduleDirectory) / path;
            out.push_back({name, path.lexically_normal().string()});
        }
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return out;
}

std::vector<CZtP11Module> ListP11KitModules() {
    return ListP11KitModules(P11KitConfigDirectories(), ZT_P11_MODULE_PATH);
}

} // namespace zt
