// The commands on the encryption of a document: create it, edit its names,
// remove it. Each saves the document.
#include "ztd.h"

#include "base/messages.h"
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

// New credentials from a key file: its first certificate with its key.
struct NewKeyFile {
    std::unique_ptr<zt::CZtPkcs12Source> source;
    zt::CZtKeyObject* key = nullptr;
    bool Open(Context& c, const std::string& path, const char* envVar) {
        source = OpenKeyFile(path, envVar, c.prompter, key);
        return key != nullptr;
    }
};

int Finish(Context& c) {
    c.doc.SetModified();
    return c.SaveBack();
}

int Encrypt(Context& c, const Args& a) {
    const bool keyFile = !a.Get("--p12").empty();
    if (!keyFile && a.Get("--name").empty()) return c.Fail(zt::MessageText(zt::Msg::CredentialsIncomplete));
    // The key file is the new credentials, not those of an encrypted document.
    c.prompter.keyFile.clear();
    if (!c.Open(a.positional[1])) return kDocError;
    zt::CZtKeyRing& ring = c.doc.Archive().KeyRing();
    if (c.doc.Archive().IsEncrypted()) return c.Fail(zt::MessageText(zt::Msg::AlreadyEncrypted));
    if (keyFile) {
        NewKeyFile fresh;
        if (!fresh.Open(c, a.Get("--p12"), "ZT_P12_PASSWORD")) return kDocError;
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
    const char* ops[] = {"--change", "--add", "--remove", "--change-p12", "--add-p12", "--remove-p12"};
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
    if (action.size() > 4 && action.compare(action.size() - 4, 4, "-p12") == 0) {
        NewKeyFile other;
        if (!other.Open(c, a.Get(op), "ZT_NEW_P12_PASSWORD")) return kDocError;
        zt::CZtCredentials key{"", "", other.key};
        ok = action == "--remove-p12" ? ring.RemoveCredentials(current.c, key)
           : action == "--change-p12" ? ring.ChangeCredentials(current.c, key)
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
         "encrypt DOC --name NAME | --p12 DATEI  verschlüsseln (Passwort: ZT_PASSWORD, ZT_P12_PASSWORD)"},
        {"passwd", 1, Passwd,
         "passwd DOC --name NAME --change|--add|--remove NAME2  Namen bearbeiten (neu: ZT_NEW_PASSWORD);\n"
         "      --change-p12|--add-p12|--remove-p12 DATEI: Zertifikat einer Schlüsseldatei (ZT_NEW_P12_PASSWORD)"},
        {"decrypt", 1, Decrypt, "decrypt DOC --name NAME               gesamte Verschlüsselung entfernen"},
    });
}

} // namespace ztd
