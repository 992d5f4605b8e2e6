#include "ztd.h"

#include "base/cp1252.h"
#include "base/messages.h"
#include "core/pagepaths.h"
#include "security/pkcs11source.h"
#include "security/pkcs12source.h"
#include "security/securebytes.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <termios.h>
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

TerminalPrompter::TerminalPrompter() = default;

TerminalPrompter::~TerminalPrompter() {
    zt::WipeString(lastName_);
    zt::WipeString(lastPassword_);
}

bool HaveTerminal() { return isatty(STDIN_FILENO) == 1; }

bool ReadTerminalLine(const std::string& prompt, bool hidden, std::string& out) {
    std::cerr << prompt << std::flush;
    termios saved{};
    const bool echoOff = hidden && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (echoOff) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    out.clear();
    bool ok = bool(std::getline(std::cin, out));
    if (echoOff) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return ok;
}

std::unique_ptr<zt::CZtPkcs12Source> OpenKeyFile(const std::string& path, const char* envVar,
                                                 zt::Prompter& prompter, zt::CZtKeyObject*& key) {
    using Result = zt::CZtPkcs12Source::Result;
    key = nullptr;
    auto source = std::make_unique<zt::CZtPkcs12Source>();
    Result r = source->LoadFile(path);
    const char* env = std::getenv(envVar);
    const bool terminal = HaveTerminal();
    for (int attempt = 1; r == Result::Ok; ++attempt) {
        std::string password;
        if (env) {
            password = env;
        } else if (!terminal || !ReadTerminalLine("Passwort der Schlüsseldatei: ", true, password)) {
            return nullptr;
        }
        r = source->Open(password);
        zt::WipeString(password);
        if (r == Result::Ok) {
            key = source->KeyObject(0);
            return source;
        }
        if (r != Result::WrongPassword || env || !terminal || attempt >= 3) break;
        prompter.Message(zt::MessageText(zt::CZtPkcs12Source::Message(r)), zt::Prompter::Icon::Warning);
        r = Result::Ok;
    }
    prompter.Message(zt::MessageText(zt::CZtPkcs12Source::Message(r)), zt::Prompter::Icon::Error);
    return nullptr;
}

std::unique_ptr<zt::CZtPkcs11Source> OpenToken(const std::string& module, const std::string& token,
                                               const std::string& cert, bool login, zt::Prompter& prompter,
                                               zt::CZtKeyObject*& key) {
    key = nullptr;
    auto source = std::make_unique<zt::CZtPkcs11Source>();
    if (!source->Load(module)) {
        prompter.Message(zt::FormatMessage(zt::Msg::Pkcs11DriverUnusable, {module}), zt::Prompter::Icon::Error);
        return nullptr;
    }
    size_t chosen = SIZE_MAX;
    if (source->ListCertificates())
        for (size_t i = 0; i < source->Count() && chosen == SIZE_MAX; ++i) {
            const auto& e = source->Certificate(i);
            std::string hexId;
            for (unsigned char ch : e.id) hexId += "0123456789abcdef"[ch >> 4], hexId += "0123456789abcdef"[ch & 15];
            if (e.certificate.keyAlgorithm != zt::kOidRsaEncryption) continue;
            if (!token.empty() && e.tokenLabel != token) continue;
            if (!cert.empty() && e.label != cert && hexId != cert) continue;
            chosen = i;
        }
    if (chosen == SIZE_MAX) {
        prompter.Message(zt::MessageText(zt::Msg::NoTokenChosen), zt::Prompter::Icon::Error);
        return nullptr;
    }
    if (login && source->Certificate(chosen).loginRequired) {
        std::string pin;
        if (const char* env = std::getenv("ZT_PIN")) pin = env;
        else if (!HaveTerminal() || !ReadTerminalLine("PIN: ", true, pin)) return nullptr;
        const bool ok = source->Login(chosen, pin);
        zt::WipeString(pin);
        if (!ok) {
            prompter.Message(zt::MessageText(zt::Msg::KeyFileWrongPassword), zt::Prompter::Icon::Error);
            return nullptr;
        }
    }
    key = source->KeyObject(chosen);
    return source;
}

bool TerminalPrompter::AskCredentials(const CredentialsQuestion& q, std::string& outName, std::string& outPassword) {
    if (!module.empty()) {
        if (q.attempt > 1) return false;
        tokenSource_ = OpenToken(module, token, cert, true, *this, chosen_);
        outName.clear();
        outPassword.clear();
        return chosen_ != nullptr;
    }
    if (!keyFile.empty()) {
        // A key file asks for its own password; a certificate that does not
        // open the document would not do so on a second try.
        if (q.attempt > 1) return false;
        keySource_ = OpenKeyFile(keyFile, "ZT_P12_PASSWORD", *this, chosen_);
        outName.clear();
        outPassword.clear();
        return chosen_ != nullptr;
    }
    chosen_ = nullptr;
    const char* env = std::getenv("ZT_PASSWORD");
    const bool terminal = HaveTerminal();
    // Answers that do not come from the terminal would only be the same again.
    if (q.attempt > 1 && (!terminal || env)) return false;
    outName = name;
    if (!hasName || q.attempt > 1) {
        if (!terminal) return false;
        std::string title = q.document.empty() ? zt::MessageText(zt::Msg::CredentialsTitle)
                                               : zt::FormatMessage(zt::Msg::CredentialsTitleFor, {q.document});
        std::cerr << title << "\n";
        std::string typed;
        if (!ReadTerminalLine(hasName ? "Name [" + name + "]: " : "Name: ", false, typed)) return false;
        if (!typed.empty()) outName = typed;
    }
    if (env) {
        outPassword = env;
    } else {
        if (!terminal || !ReadTerminalLine("Passwort: ", true, outPassword)) return false;
    }
    zt::WipeString(lastName_);
    zt::WipeString(lastPassword_);
    lastName_ = outName;
    lastPassword_ = outPassword;
    return true;
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
