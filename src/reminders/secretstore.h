// The mail password in the user's Secret Service keyring (libsecret), when
// the program was built with it and a session bus is there. The password is
// never written to the settings.
#pragma once

#include <string>

namespace zt {

bool SecretStoreAvailable();
bool LookupMailPassword(const std::string& server, const std::string& user, std::string& password);
bool StoreMailPassword(const std::string& server, const std::string& user, const std::string& password);
void ClearMailPassword(const std::string& server, const std::string& user);

} // namespace zt
