// The commands on the encryption of a document: create it, edit its names,
// remove it. Each saves the document.
#include "ztd.h"

#include "base/messages.h"
#include "security/pkcs11source.h"
#include "security/pkcs12source.h"
#include "security/securebytes.h"

#include <cstdlib>
#include <iostream>

namespace ztd {

namespace {

// A new password: from the environment variable `envVar`, else typed twice
// on the terminal without echo.
bool NewPassword(const char* envVar, std::string& out) {
    if (const char* env = std::getenv(envVar)) {
        out = env;
        return !out.empty();
    }
    if (!HaveTerminal()) return false;
    std::string again;
    bool ok = ReadTerminalLine("Neues Passwort: ", true, out) && ReadTerminalLine("Wiederholung: ", true, again) &&
              !out.empty() && out == again;
    zt::WipeString(again);
    if (!ok) zt::WipeString(out);
    return ok;
}

// Wipes the credentials when the command ends.
struct Wiped {
    zt::CZtCredentials c;
    ~Wiped() {
        zt::WipeString(c.name);
        zt::WipeString(c.password);
    }
};

// The credentials the document was opened with.
zt::CZtCredentials Current(Context& c) {
    zt::CZtCredentials current = CredentialsFromUtf8(c.prompter.LastName(), c.prompter.LastPassword());
    current.keyObject = c.prompter.ChosenKeyObject();
    return current;
}

// New credentials from a key file (its first certificate with its key) or a
// token (its certificate chosen by --token and --cert; a new block needs only
// the public key, so there is no login).
struct NewKeyFile {
    std::unique_ptr<zt::CZtPkcs12Source> source;
    std::unique_ptr<zt::CZtPkcs11Source> token;
    zt::CZtKeyObject* key = nullptr;
    bool Open(Context& c, const std::string& path, const char* envVar) {
        source = OpenKeyFile(path, envVar, c.prompter, key);
        return key != nullptr;
    }
    bool OpenToken(Context& c, const Args& a, const std::string& module) {
        token = ztd::OpenToken(module, a.Get("--token"), a.Get("--cert"), false, c.prompter, key);
        return key != nullptr;
    }
};

int Finish(Context& c) {
    c.doc.SetModified();
    return c.SaveBack();
}

int Encrypt(Context& c, const Args& a) {
    const bool keyFile = !a.Get("--p12").empty();
    const bool token = !a.Get("--pkcs11").empty();
    if (!keyFile && !token && a.Get("--name").empty())
        return c.Fail(zt::MessageText(zt::Msg::CredentialsIncomplete));
    // The key file or token is the new credentials, not those of an encrypted document.
    c.prompter.keyFile.clear();
    c.prompter.module.clear();
    if (!c.Open(a.positional[1])) return kDocError;
    zt::CZtKeyRing& ring = c.doc.Archive().KeyRing();
    if (c.doc.Archive().IsEncrypted()) return c.Fail(zt::MessageText(zt::Msg::AlreadyEncrypted));
    if (keyFile || token) {
        NewKeyFile fresh;
        if (keyFile ? !fresh.Open(c, a.Get("--p12"), "ZT_P12_PASSWORD") : !fresh.OpenToken(c, a, a.Get("--pkcs11")))
            return kDocError;
        // New blocks are made for RSA certificates only.
        if (!ring.CreateEncryption({"", "", fresh.key}))
            return c.Fail(zt::MessageText(zt::Msg::KeyFileNoCertificate));
        return Finish(c);
    }
    std::string password;
    if (!NewPassword("ZT_PASSWORD", password)) return c.Fail(zt::MessageText(zt::Msg::CredentialsIncomplete));
    Wiped fresh{CredentialsFromUtf8(a.Get("--name"), password)};
    zt::WipeString(password);
    // A failing random source is reported by the ring.
    if (!ring.CreateEncryption(fresh.c)) return kDocError;
    return Finish(c);
}

int Passwd(Context& c, const Args& a) {
    const char* ops[] = {"--change",     "--add",         "--remove",       "--change-p12",
                         "--add-p12",    "--remove-p12",  "--change-pkcs11", "--add-pkcs11",
                         "--remove-pkcs11"};
    const char* op = nullptr;
    for (const char* o : ops)
        if (a.Has(o)) {
            if (op) return kUsage;
            op = o;
        }
    if (!op) return kUsage;
    const std::string other = a.Get(op);
    if (!c.Open(a.positional[1])) return kDocError;
    if (!c.doc.Archive().IsEncrypted()) return c.Fail(zt::MessageText(zt::Msg::NotEncrypted));
    // Removing all encryption is `decrypt`; an empty name is missing credentials.
    if (other.empty()) return c.Fail(zt::MessageText(zt::Msg::CredentialsIncomplete));
    zt::CZtKeyRing& ring = c.doc.Archive().KeyRing();
    Wiped current{Current(c)};
    bool ok = false;
    const std::string action = op;
    auto endsWith = [&action](std::string_view tail) {
        return action.size() > tail.size() && action.compare(action.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (endsWith("-p12") || endsWith("-pkcs11")) {
        NewKeyFile other;
        if (endsWith("-p12") ? !other.Open(c, a.Get(op), "ZT_NEW_P12_PASSWORD") : !other.OpenToken(c, a, a.Get(op)))
            return kDocError;
        zt::CZtCredentials key{"", "", other.key};
        ok = action.rfind("--remove", 0) == 0   ? ring.RemoveCredentials(current.c, key)
           : action.rfind("--change", 0) == 0 ? ring.ChangeCredentials(current.c, key)
                                              : ring.AddCredentials(current.c, key);
    } else if (action == "--remove") {
        Wiped removed{CredentialsFromUtf8(other, "")};
        ok = ring.RemoveCredentials(current.c, removed.c);
    } else {
        std::string password;
        if (!NewPassword("ZT_NEW_PASSWORD", password))
            return c.Fail(zt::MessageText(zt::Msg::CredentialsIncomplete));
        Wiped fresh{CredentialsFromUtf8(other, password)};
        zt::WipeString(password);
        ok = action == "--change" ? ring.ChangeCredentials(current.c, fresh.c)
                                           : ring.AddCredentials(current.c, fresh.c);
    }
    if (!ok) return c.Fail(zt::MessageText(zt::Msg::CredentialsRefused));
    return Finish(c);
}

int Decrypt(Context& c, const Args& a) {
    if (!c.Open(a.positional[1])) return kDocError;
    if (!c.doc.Archive().IsEncrypted()) return c.Fail(zt::MessageText(zt::Msg::NotEncrypted));
    Wiped current{Current(c)};
    if (!c.doc.Archive().KeyRing().RemoveEncryption(current.c))
        return c.Fail(zt::MessageText(zt::Msg::CredentialsRefused));
    return Finish(c);
}

} // namespace

void AddCryptoCommands(std::vector<Command>& commands) {
    commands.insert(commands.end(), {
        {"encrypt", 1, Encrypt,
         "encrypt DOC --name NAME | --p12 DATEI | --pkcs11 MODUL  verschlüsseln (Passwort: ZT_PASSWORD, ZT_P12_PASSWORD)"},
        {"passwd", 1, Passwd,
         "passwd DOC --name NAME --change|--add|--remove NAME2  Namen bearbeiten (neu: ZT_NEW_PASSWORD);\n"
         "      --change-p12|--add-p12|--remove-p12 DATEI: Zertifikat einer Schlüsseldatei (ZT_NEW_P12_PASSWORD);\n"
         "      --change-pkcs11|--add-pkcs11|--remove-pkcs11 MODUL [--token NAME] [--cert NAME|ID]: Zertifikat eines Tokens"},
        {"decrypt", 1, Decrypt, "decrypt DOC --name NAME               gesamte Verschlüsselung entfernen"},
    });
}

} // namespace ztd
