// Whole-file reads and writes, and the one atomic path every output file
// takes: a temporary file beside the target (".NAME.XXXXXX", locked while it
// is written), fsync, rename over the target, fsync of the directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zt {

// The most a whole-file read takes in (documents and attached files alike).
constexpr uint64_t kMaxReadBytes = uint64_t(8) << 30;

// Reads the whole file, by its size and never past `limit`; false with
// `error` (German, the system's reason) when it cannot be opened or read, is
// no regular file (a directory, FIFO or device, also behind a symbolic link:
// refused at once, without reading), is larger than `limit`, or memory runs out.
bool ReadWholeFile(const std::string& path, std::string& out, std::string* error = nullptr,
                   uint64_t limit = kMaxReadBytes);

// The German text for a system error number, from the message table.
std::string SystemErrorText(int err);

// The file a path finally names: symbolic links are followed (relative links
// from the link's directory) until a name that is no link, whether it exists
// or not. The path itself when it is no link, or on a loop.
std::string ResolveLinks(const std::string& path);

// The temporary name pattern of a target: "DIR/.NAME." followed by six
// characters.
std::string TempPatternFor(const std::string& path);

// Removes leftover temporary files of `path` (same directory, ".NAME."
// followed by six letters or digits, a regular file no process holds locked):
// what a killed save left behind. Returns how many were removed.
int RemoveStaleTempFiles(const std::string& path);

// Writes an output file atomically. Open() resolves symbolic links (the link
// stays, its target is replaced), refuses a directory, and for an existing
// FIFO or character device (say /dev/null, /dev/full, /dev/stdout) writes
// into it directly when `Direct::Allow` is given, else refuses it; every
// other target gets a temporary file beside it, locked (flock) while it is
// written, that Commit() fsyncs and renames over the target. Until Commit()
// succeeds the target is untouched; the destructor removes an uncommitted
// temporary file. Errors are German texts with the system's reason.
//
// A new file gets the permissions 0666 less the umask, or those set with
// SetMode; a replaced file keeps its own unless SetMode says otherwise. A
// writer that is given up half way can keep what it wrote under another name
// (KeepAs) instead of removing it.
class CAtomicFileWriter {
public:
    enum class Direct { Refuse, Allow };
    CAtomicFileWriter() = default;
    ~CAtomicFileWriter();
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    enum class ModeFor { NewFiles, Always };
    // Before Open: the permissions of a new file (say 0600 for a key), with
    // `Always` also for a file that is replaced. The umask does not apply.
    void SetMode(unsigned mode, ModeFor which = ModeFor::NewFiles) {
        mode_ = int(mode & 07777);
        modeAlways_ = which == ModeFor::Always;
    }
    bool Open(const std::string& path, Direct direct = Direct::Allow);
    // Leaves flushing to the disk to the caller, who writes many files and
    // syncs them all at once afterwards (SyncFileSystem): the file still
    // takes its name only when whole, but is not flushed one by one.
    void DeferSync() { deferSync_ = true; }
    bool Write(std::string_view bytes);
    bool Commit();
    // Gives up: the temporary file is removed, the target stays.
    void Abandon();
    // Gives up, but keeps what was written so far: the temporary file is
    // synced (unless deferred) and takes the name `path` (on the target's
    // file system), which is never replaced when it exists (EEXIST).
    // The target stays as it was. A direct target is just closed. False (the
    // temporary file removed) on failure.
    bool KeepAs(const std::string& path);

    // The descriptor being written (for writers that stream themselves; a
    // write failure on it must be told with Fail()).
    int Fd() const { return fd_; }
    void Fail(int err);
    bool Failed() const { return err_ != 0; }
    const std::string& Error() const { return error_; }
    int ErrorNumber() const { return err_; }
    // The file that is replaced (the link's target) and the temporary file.
    const std::string& Target() const { return target_; }
    const std::string& TempPath() const { return temp_; }
    bool IsDirect() const { return direct_; }

    // Test seam, the failing file layer: writes through this class fail with
    // ENOSPC once this many bytes were written in total (negative: never).
    // The environment variable ZT_TEST_WRITE_LIMIT sets it at start.
    static void SetWriteLimitForTests(int64_t bytes);
    // Whether the failing file layer lets `n` more bytes through (counts them).
    static bool TestLayerAllows(size_t& n);

private:
    bool SetError(int err);
    int fd_ = -1;
    int err_ = 0;
    bool direct_ = false;
    bool committed_ = false;
    bool deferSync_ = false;
    bool modeAlways_ = false;
    int mode_ = -1;
    std::string target_, temp_, error_;
};

// Writes `data` to `path` through CAtomicFileWriter: a failure never leaves
// half a file and never touches an existing one. With `deferSync` the file is
// not flushed on its own (see CAtomicFileWriter::DeferSync).
bool WriteFileReplacing(const std::string& path, std::string_view data, std::string* error = nullptr,
                        bool deferSync = false);

// Flushes everything written to the file system that holds `path` (one call
// after many files were written with deferred syncs).
bool SyncFileSystem(const std::string& path, std::string* error = nullptr);

// Writes all of `data` to a descriptor (standard output, say); false with
// `error` (German) on the first failure.
bool WriteAll(int fd, std::string_view data, std::string* error = nullptr);

} // namespace zt
