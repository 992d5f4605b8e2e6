// A byte stream in the primitive encodings of the document file: int32 LE,
// tags, prefixed strings and raw bytes. Loading works over bytes in memory;
// storing writes into memory or into an open file descriptor.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zt {
class CZtKeyRing;
}

class CZTDocStream {
public:
    // Loading over `bytes`; `filePath` is the file they were read from (may be empty).
    static CZTDocStream Loading(std::string bytes, std::string filePath = {});
    // Loading from a file on disk (read whole). Throws nothing; returns false.
    static bool LoadFile(const std::string& path, CZTDocStream& out, std::string* error = nullptr);
    // Storing into memory (`Data()` gives the bytes).
    static CZTDocStream StoringMemory();
    // Storing into an open file descriptor (not owned); `filePath` names the final file.
    static CZTDocStream StoringFile(int fd, std::string filePath);

    CZTDocStream();
    ~CZTDocStream();
    CZTDocStream(CZTDocStream&&) noexcept;
    CZTDocStream& operator=(CZTDocStream&&) noexcept;

    bool IsStoring() const { return storing_; }

    // Loading. Every read past the end throws CZTDocCoreException code 2.
    int32_t ReadInt();
    uint32_t ReadUInt() { return uint32_t(ReadInt()); }
    std::string ReadString();
    // Reads n bytes; n is checked against the bytes that remain before anything
    // is allocated.
    std::string ReadBytes(int64_t n);
    // The same without a copy: a view into LoadedBytes().
    std::string_view ReadView(int64_t n);
    // The bytes being loaded; chunks read from them may keep them alive.
    const std::shared_ptr<const std::string>& LoadedBytes() const { return loaded_; }
    std::string_view PeekRemaining() const;
    void Skip(size_t n);
    // The rest of the stream is replaced by `bytes` (the decrypted remainder
    // of an encrypted file); reading goes on at their start.
    void ContinueWith(std::string bytes);

    // Storing. Failures are remembered (see Failed()).
    void WriteInt(int32_t v);
    void WriteUInt(uint32_t v) { WriteInt(int32_t(v)); }
    void WriteString(std::string_view s);
    void WriteBytes(std::string_view bytes);
    bool Flush();
    bool Failed() const { return failed_; }
    // The cipher layer: from BeginEncryption on, every byte written goes
    // through the key ring's content stream (one chunk is held at a time);
    // EndEncryption encrypts the rest and writes the tag. The stream must not
    // be moved in between.
    bool BeginEncryption(zt::CZtKeyRing& ring);
    bool EndEncryption();
    bool Encrypting() const { return cipher_ != nullptr; }
    const std::string& Error() const { return error_; }

    // Total length of the underlying data (for storing: what was written so far).
    uint64_t Size() const;
    uint64_t Position() const;
    uint64_t Remaining() const { return Size() - Position(); }
    // The directory part of the underlying file's path (with a trailing "/");
    // false when there is none.
    bool DirectoryOfFile(std::string& dir) const;
    const std::string& FilePath() const { return filePath_; }

    // The bytes of a stream storing into memory.
    const std::string& Data() const { return data_; }
    std::string TakeData() { return std::move(data_); }

    // Test hook: file writes fail once this many bytes were written in total
    // (negative: never). Lets tests prove that a failed save changes nothing.
    static void SetWriteLimitForTests(int64_t bytes);

private:
    void WriteRaw(std::string_view bytes);

    bool storing_ = false;
    zt::CZtKeyRing* cipher_ = nullptr;
    int fd_ = -1;
    const std::string& Loaded() const;

    std::shared_ptr<const std::string> loaded_; // loading: all bytes
    std::string data_; // storing to memory: the output; to file: a buffer
    size_t pos_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
    std::string error_;
    std::string filePath_;
};
