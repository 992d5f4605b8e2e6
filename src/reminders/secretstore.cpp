#include "reminders/secretstore.h"

#include <cstdlib>

#ifdef ZT_HAVE_LIBSECRET
#include <libsecret/secret.h>
#endif

namespace zt {

#ifdef ZT_HAVE_LIBSECRET
namespace {
const SecretSchema* Schema() {
    static const SecretSchema schema = {"org.zettrix.Mail",
                                        SECRET_SCHEMA_NONE,
                                        {{"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &schema;
}
} // namespace

bool SecretStoreAvailable() {
    // Without a session bus libsecret would try to start one; do not.
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return bus && *bus && !std::getenv("ZT_NO_SECRET_STORE");
}

bool LookupMailPassword(const std::string& server, const std::string& user, std::string& password) {
    if (!SecretStoreAvailable()) return false;
    GError* error = nullptr;
    gchar* pw = secret_password_lookup_sync(Schema(), nullptr, &error, "server", server.c_str(), "user",
                                            user.c_str(), nullptr);
    if (error) g_error_free(error);
    if (!pw) return false;
    password = pw;
    secret_password_free(pw);
    return true;
}

bool StoreMailPassword(const std::string& server, const std::string& user, const std::string& password) {
    if (!SecretStoreAvailable()) return false;
    GError* error = nullptr;
    const std::string label = "Zettrix E-Mail " + user + "@" + server;
    const gboolean ok = secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                   password.c_str(), nullptr, &error, "server", server.c_str(),
                                                   "user", user.c_str(), nullptr);
    if (error) g_error_free(error);
    return ok;
}

void ClearMailPassword(const std::string& server, const std::string& user) {
    if (!SecretStoreAvailable()) return;
    GError* error = nullptr;
    secret_password_clear_sync(Schema(), nullptr, &error, "server", server.c_str(), "user", user.c_str(), nullptr);
    if (error) g_error_free(error);
}
#else
bool SecretStoreAvailable() { return false; }
bool LookupMailPassword(const std::string&, const std::string&, std::string&) { return false; }
bool StoreMailPassword(const std::string&, const std::string&, const std::string&) { return false; }
void ClearMailPassword(const std::string&, const std::string&) {}
#endif

} // namespace zt
