#include "ztd.h"

#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "core/pagepaths.h"
#include "security/pkcs11source.h"
#include "security/pkcs12source.h"
#include "security/securebytes.h"

#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <termios.h>
#include <unistd.h>

namespace ztd {

void TerminalPrompter::Message(std::string_view text, Icon icon) {
    const bool interactive = HaveTerminal() && !std::getenv("ZT_PASSWORD");
    if (!interactive && text == zt::MessageText(zt::Msg::KeyMacBad)) return; // told below, once
    if (text == zt::MessageText(zt::Msg::DocumentEncrypted) && !interactive) {
        text = zt::MessageText(credentialsGiven_ ? zt::Msg::WrongCredentials : zt::Msg::CredentialsHint);
    }
    const char* prefix = icon == Icon::Warning ? "Warnung: " : (icon == Icon::Information ? "" : "Fehler: ");
    if (icon == Icon::Error) ++errorsShown;
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
        prompter.Message(source->FailureText(), zt::Prompter::Icon::Error);
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
    credentialsGiven_ = true;
    zt::WipeString(lastName_);
    zt::WipeString(lastPassword_);
    lastName_ = outName;
    lastPassword_ = outPassword;
    return true;
}

// Every command may take these: the answers to questions and the credentials
// of an encrypted document (a name and password, a key file or a token).
const char* const kCommonOptions[] = {"--yes", "--name", "--help", "-h", "--verbose", "--p12", "--pkcs11", "--token", "--cert", nullptr};

namespace {

// The options a text names: every "-x" or "--word" that starts the text or
// follows a space, "[", "(" or "|".
bool NamesOption(std::string_view text, std::string_view option) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '-' || (i > 0 && !std::strchr(" [(|", text[i - 1]))) continue;
        size_t end = i + 1;
        while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-')) ++end;
        if (text.substr(i, end - i) == option) return true;
        i = end;
    }
    return false;
}

} // namespace

bool AcceptsOption(const Command& command, const std::string& option) {
    for (const char* const* o = kCommonOptions; *o; ++o)
        if (option == *o) return true;
    return NamesOption(command.options ? command.options : command.usage, option);
}

int Context::Fail(const std::string& message) {
    std::cerr << "Fehler: " << message << "\n";
    return kDocError;
}

bool Context::Open(const std::string& path) {
    docPath = path;
    const bool ok = doc.Open(path);
    if (!ok && verbose && !doc.Archive().lastError.empty())
        std::cerr << "ztd: " << path << ": " << doc.Archive().lastError << "\n";
    return ok;
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Link paths escape Windows-1252 bytes (%E4 for "ä"); users and browsers
// write the UTF-8 form (%C3%A4). Runs of escaped bytes above 0x7F that are
// UTF-8 become the Windows-1252 escapes; anything else stays.
std::string Utf8EscapesToCp1252(const std::string& path) {
    std::string out;
    for (size_t i = 0; i < path.size();) {
        std::string run;
        size_t j = i;
        while (j + 2 < path.size() && path[j] == '%' && HexValue(path[j + 1]) >= 8 && HexValue(path[j + 2]) >= 0) {
            run.push_back(char(HexValue(path[j + 1]) * 16 + HexValue(path[j + 2])));
            j += 3;
        }
        if (run.empty()) {
            out.push_back(path[i++]);
            continue;
        }
        bool lossless = true;
        const std::string bytes = zt::IsUtf8(run) ? zt::Utf8ToCp1252(run, '?', &lossless) : std::string();
        if (bytes.empty() || !lossless) {
            out.append(path, i, j - i);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            for (unsigned char b : bytes) {
                out.push_back('%');
                out.push_back(kHex[b >> 4]);
                out.push_back(kHex[b & 15]);
            }
        }
        i = j;
    }
    return out;
}

} // namespace

CZTPageNode* Context::Page(const std::string& pathUtf8) {
    std::string path = zt::Utf8ToCp1252(pathUtf8);
    CZTPageNode* node = path.empty() ? nullptr : zt::ResolvePath(doc.Tree(), nullptr, path);
    if (!node && path.find('%') != std::string::npos) {
        const std::string other = Utf8EscapesToCp1252(path);
        if (other != path) node = zt::ResolvePath(doc.Tree(), nullptr, other);
    }
    if (!node) {
        // One line, like every other error of ztd.
        std::string text = zt::FormatMessage(zt::Msg::PageNotFound, {pathUtf8});
        for (char& ch : text)
            if (ch == '\n') ch = ' ';
        std::cerr << "Fehler: " << text << "\n";
    }
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

bool ReadFileBytes(const std::string& path, std::string& out) { return zt::ReadWholeFile(path, out); }

int WriteOutputFile(Context& c, const std::string& path, std::string_view data) {
    std::string why;
    if (zt::WriteFileReplacing(path, data, &why)) return kOk;
    return c.Fail(zt::FormatMessage(zt::Msg::FileWriteFailedWhy, {path, why}));
}

namespace {

// A buffer in front of descriptor 1 that remembers the first failed write.
class CheckedOutput : public std::streambuf {
public:
    CheckedOutput() { setp(buffer_, buffer_ + sizeof buffer_); }
    bool Drain() {
        const size_t n = size_t(pptr() - pbase());
        setp(buffer_, buffer_ + sizeof buffer_);
        if (n == 0 || failed_) return !failed_;
        std::string why;
        if (!zt::WriteAll(STDOUT_FILENO, std::string_view(buffer_, n), &why)) {
            failed_ = true;
            error_ = why;
        }
        return !failed_;
    }
    bool Failed() const { return failed_; }
    const std::string& Error() const { return error_; }

protected:
    int_type overflow(int_type ch) override {
        if (!Drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return Drain() ? 0 : -1; }

private:
    char buffer_[1 << 16];
    bool failed_ = false;
    std::string error_;
};

CheckedOutput gOutput;

} // namespace

void RouteStandardOutput() { std::cout.rdbuf(&gOutput); }

int FinishOutput(int rc) {
    std::cout.flush();
    gOutput.Drain();
    if (!gOutput.Failed()) return rc;
    std::cerr << "Fehler: " << zt::FormatMessage(zt::Msg::OutputWriteFailed, {gOutput.Error()}) << "\n";
    return kDocError;
}

} // namespace ztd
