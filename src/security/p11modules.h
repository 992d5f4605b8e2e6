// The PKCS#11 modules registered on the system through p11-kit's module
// configuration: one "NAME.module" file per module in the user's directory
// ($XDG_CONFIG_HOME/pkcs11/modules, else ~/.config/pkcs11/modules), the
// system's (/etc/pkcs11/modules) and the packages' (p11-kit's own directory);
// a file of the user's hides the system's of the same name. The modules are
// only listed, never loaded. p11-kit's trust module (a trust policy source
// without keys) and modules disabled for this program are left out.
#pragma once

#include <string>
#include <vector>

namespace zt {

struct CZtP11Module {
    std::string name; // the config file's name without ".module"
    std::string path; // the module file, absolute
};

// The directories searched, the first winning.
std::vector<std::string> P11KitConfigDirectories();
// The modules configured in `directories` (default: P11KitConfigDirectories()),
// sorted by name. Relative module names are taken from `moduleDirectory`
// (default: p11-kit's module directory).
std::vector<CZtP11Module> ListP11KitModules(const std::vector<std::string>& directories,
                                            const std::string& moduleDirectory);
std::vector<CZtP11Module> ListP11KitModules();

} // namespace zt
