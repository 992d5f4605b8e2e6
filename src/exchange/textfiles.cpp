// Filters, format detection and the text file opener.
#include "exchange/textfiles.h"

#include "base/cp1252.h"
#include "base/fileio.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/prompter.h"
#include "exchange/oemcodepage.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zt {

namespace {

std::string Field(int index, int n) {
    std::string_view s(TextFormatDescription(index));
    for (int i = 0; i < n; ++i) {
        size_t lf = s.find('\n');
        if (lf == std::string_view::npos) return {};
        s.remove_prefix(lf + 1);
    }
    return std::string(s.substr(0, s.find('\n')));
}

struct FilterEntry {
    int row;
    std::string label, pattern;
};

std::vector<FilterEntry> FilterEntries(bool forWriting) {
    std::vector<FilterEntry> entries;
    for (int i = 0; i < kTextFormatCount; ++i)
        if (TextFormatAvailable(i, forWriting)) entries.push_back({i, Field(i, forWriting ? 0 : 1), Field(i, 2)});
    return entries;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return out;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The first bytes of a file, empty when it cannot be read.
std::string Head(const std::string& path, size_t n) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {};
    std::string buf(n, '\0');
    ssize_t got = ::read(fd, buf.data(), n);
    ::close(fd);
    buf.resize(got > 0 ? size_t(got) : 0);
    return buf;
}

const char* ConverterExtension(int row) { return row == kFormatWrite ? "wri" : "doc"; }

// ---- the file kinds

class CZTPlainTextFile : public CZTTextFile {
public:
    CZTPlainTextFile(std::string path, TextOpenMode mode, bool oem) : path_(std::move(path)), mode_(mode), oem_(oem) {}

    bool Open(std::string& error) {
        if (mode_ == TextOpenMode::Read) {
            struct stat st;
            if (::stat(path_.c_str(), &st) != 0) {
                error = FormatMessage(Msg::FileLoadError, {path_ + "\n" + SystemErrorText(errno)});
                return false;
            }
            if (!S_ISREG(st.st_mode)) {
                error = FormatMessage(Msg::FileLoadError, {path_});
                return false;
            }
            return true;
        }
        if (!writer_.Open(path_)) {
            error = FormatMessage(Msg::FileWriteFailed, {path_ + "\n" + writer_.Error()});
            return false;
        }
        return true;
    }
    bool ReadAll(std::string& out, std::string& error) override {
        std::string why;
        if (!ReadWholeFile(path_, out, &why, limit)) {
            error = FormatMessage(Msg::FileLoadError, {path_ + "\n" + why});
            return false;
        }
        if (oem_) out = OemToAnsi(out);
        return true;
    }
    bool Write(std::string_view bytes, std::string& error) override {
        bool ok;
        if (oem_) {
            std::string oem = AnsiToOem(bytes), crlf;
            crlf.reserve(oem.size() + oem.size() / 16);
            for (size_t i = 0; i < oem.size(); ++i) {
                if (oem[i] == '\n' && (i == 0 || oem[i - 1] != '\r')) crlf.push_back('\r');
                crlf.push_back(oem[i]);
            }
            ok = writer_.Write(crlf);
        } else {
            ok = writer_.Write(bytes);
        }
        if (!ok) error = FormatMessage(Msg::FileWriteFailed, {path_ + "\n" + writer_.Error()});
        return ok;
    }
    bool Close(std::string& error) override {
        if (mode_ == TextOpenMode::Read) return true;
        if (!writer_.Commit()) {
            error = FormatMessage(Msg::FileWriteFailed, {path_ + "\n" + writer_.Error()});
            return false;
        }
        return true;
    }
    uint64_t limit = kMaxReadBytes;

private:
    std::string path_;
    TextOpenMode mode_;
    bool oem_;
    CAtomicFileWriter writer_;
};

// A file read or written through LibreOffice: reading converts the whole
// file to RTF at once; writing collects the RTF and converts it at Close.
class CZTConvertedTextFile : public CZTTextFile {
public:
    CZTConvertedTextFile(std::string path, TextOpenMode mode, int row, const TextFileOptions& options)
        : path_(std::move(path)), mode_(mode), options_(options) {
        type_ = row;
        converted_ = true;
    }
    bool ReadAll(std::string& out, std::string& error) override {
        out.clear();
        std::string bytes, why;
        if (!ReadWholeFile(path_, bytes, &why, limit)) {
            error = FormatMessage(Msg::FileLoadError, {path_ + "\n" + why});
            return false;
        }
        if (bytes.empty()) return true; // nothing to convert
        Status(FormatMessage(Msg::ConvertingFile, {FileNamePart(path_)}));
        const ConvertResult r =
            ConvertWithOffice(bytes, ConverterExtension(type_), "rtf", "rtf", out, path_, error, options_.run, limit);
        Status({});
        if (r != ConvertResult::Ok) return false;
        if (!IsRtf(out)) {
            error = FormatMessage(Msg::ConverterFailed, {path_, MessageText(Msg::ConverterNoOutput)});
            out.clear();
            return false;
        }
        return true;
    }
    bool Write(std::string_view bytes, std::string& error) override {
        rtf_.append(bytes);
        return true;
    }
    bool Close(std::string& error) override {
        if (mode_ == TextOpenMode::Read) return true;
        Status(FormatMessage(Msg::ConvertingFile, {FileNamePart(path_)}));
        std::string doc;
        const ConvertResult r =
            ConvertWithOffice(rtf_, "rtf", "doc:MS Word 97", "doc", doc, path_, error, options_.run);
        Status(MessageText(Msg::SavingFileWait));
        bool ok = r == ConvertResult::Ok;
        std::string why;
        if (ok && !WriteFileReplacing(path_, doc, &why)) {
            error = FormatMessage(Msg::FileWriteFailed, {path_ + "\n" + why});
            ok = false;
        }
        Status({});
        return ok;
    }
    uint64_t limit = kMaxReadBytes;

private:
    static bool IsRtf(std::string_view s) { return StartsWith(s, "{\\rtf"); }
    void Status(const std::string& text) {
        if (options_.status) options_.status->Status(text);
    }
    std::string path_;
    TextOpenMode mode_;
    TextFileOptions options_;
    std::string rtf_;
};

} // namespace

std::string BuildFilter(bool forWriting) {
    std::string filter;
    for (const FilterEntry& e : FilterEntries(forWriting)) filter += e.label + "|" + e.pattern + "|";
    return filter + "|";
}

std::string BuildQtFilter(bool forWriting) {
    std::string filter;
    for (const FilterEntry& e : FilterEntries(forWriting)) {
        std::string label = e.label;
        const std::string pattern = e.pattern == "*.*" ? "*" : e.pattern;
        const size_t paren = label.rfind(" (");
        if (paren != std::string::npos) label.resize(paren);
        if (!filter.empty()) filter += ";;";
        filter += label + " (" + pattern + ")";
    }
    return filter;
}

int FormatOfFilter(int position, bool forWriting) {
    const auto entries = FilterEntries(forWriting);
    return position >= 0 && size_t(position) < entries.size() ? entries[size_t(position)].row : -1;
}

int FilterPosition(std::string_view entry, bool forWriting) {
    const std::string all = BuildQtFilter(forWriting);
    int position = 0;
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t end = all.find(";;", pos);
        if (end == std::string::npos) end = all.size();
        if (std::string_view(all).substr(pos, end - pos) == entry) return position;
        ++position;
        pos = end + 2;
    }
    return -1;
}

int DetectTextFormat(const std::string& path, bool forWriting) {
    if (!forWriting) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK) != 0) return -1;
    }
    int guess = -1;
    const std::string name = FileNamePart(path);
    if (name.size() > 4) {
        const std::string x = Lower(std::string_view(name).substr(name.size() - 4));
        if (x[0] != '.' && x != "html") guess = 0;
        else if (x == ".doc") guess = 3;
        else if (x == ".rtf") guess = 2;
        else if (x == ".wri") guess = 5;
        else if (x == ".txt") guess = 0;
    } else if (name.find('.') == std::string::npos) {
        guess = 0; // a short name without extension
    }
    if (forWriting) return guess;
    const std::string head = Head(path, 8);
    if (head.empty()) return guess;
    const bool office = !ConverterCommand().empty();
    if ((guess == -1 || guess == 2) && StartsWith(head, "{\\rtf")) return 2;
    if (guess == -1 && StartsWith(head, "MZ")) return -1;
    if ((guess == -1 || guess == 5) && (StartsWith(head, "\x31\xBE") || StartsWith(head, "\x32\xBE")))
        return office ? 5 : -1;
    if ((guess == -1 || guess == 3) && StartsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return office ? 3 : -1;
    return guess;
}

std::unique_ptr<CZTTextFile> OpenTextFile(const std::string& path, TextOpenMode mode, std::string& error,
                                          const TextFileOptions& options) {
    error.clear();
    const bool writing = mode == TextOpenMode::Write;
    int t = 0;
    if (options.detect) {
        t = DetectTextFormat(path, writing);
        if (t >= kFormatWord6 && TextFormatAvailable(t == kFormatWord97 ? kFormatWord6 : t, writing)) {
            if (!writing && ::access(path.c_str(), R_OK) != 0) {
                error = FormatMessage(Msg::FileLoadError, {path + "\n" + SystemErrorText(errno)});
                return nullptr;
            }
            return std::make_unique<CZTConvertedTextFile>(path, mode, t, options);
        }
        // Without the converter the bytes are read (or written) as they are.
    }
    const bool oem = options.chosenFormat == kFormatDosText && t == 0;
    auto file = std::make_unique<CZTPlainTextFile>(path, mode, oem);
    if (!file->Open(error)) return nullptr;
    return file;
}

bool ReadTextForPage(const std::string& path, std::string& out, std::string& error, const TextFileOptions& options) {
    out.clear();
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) > kMaxTextPageBytes) {
        error = FormatMessage(Msg::TextFileTooLarge, {path, std::to_string(kMaxTextPageBytes >> 20)});
        return false;
    }
    std::unique_ptr<CZTTextFile> file = OpenTextFile(path, TextOpenMode::Read, error, options);
    if (!file) return false;
    if (!file->ReadAll(out, error)) return false;
    if (out.size() > kMaxTextPageBytes) {
        out.clear();
        error = FormatMessage(Msg::TextFileTooLarge, {path, std::to_string(kMaxTextPageBytes >> 20)});
        return false;
    }
    return file->Close(error);
}

} // namespace zt
