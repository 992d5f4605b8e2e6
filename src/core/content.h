// Page texts as the node table keeps them.
//
// A text is held as its stored buffer (the compressed-buffer layout), or,
// right after a document was opened from a revision, as a range of the
// revision's joined body: opening then neither copies nor re-encodes any
// text, and the buffer is built from the range the first time it is asked
// for. Not thread-safe, like the rest of the node table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zt {

// A large block of bytes, written once and then only read (the joined body
// of a revision). Its memory is taken straight from the system, in huge pages
// where the system offers them, so filling it costs few page faults.
class CZTBlock {
public:
    // Throws std::bad_alloc when the memory cannot be had.
    static std::shared_ptr<CZTBlock> Allocate(size_t size);
    ~CZTBlock();
    CZTBlock(const CZTBlock&) = delete;
    CZTBlock& operator=(const CZTBlock&) = delete;

    char* data() { return data_; }
    const char* data() const { return data_; }
    size_t size() const { return size_; }
    std::string_view View() const { return {data_, size_}; }

private:
    CZTBlock(char* data, size_t size, size_t mapped) : data_(data), size_(size), mapped_(mapped) {}
    char* data_;
    size_t size_;
    size_t mapped_;
};

// Bytes held by the object itself, or a range of a buffer shared with others
// (the chunks of a store read from a file keep the file's bytes alive rather
// than copying them).
class CZTBytes {
public:
    CZTBytes() = default;
    CZTBytes(std::string bytes) : own_(std::move(bytes)) {}
    CZTBytes(std::shared_ptr<const std::string> owner, std::string_view range)
        : owner_(std::move(owner)), range_(range) {}

    std::string_view view() const { return owner_ ? range_ : std::string_view(own_); }
    operator std::string_view() const { return view(); }
    const char* data() const { return view().data(); }
    size_t size() const { return view().size(); }
    bool empty() const { return size() == 0; }

private:
    std::string own_;
    std::shared_ptr<const std::string> owner_;
    std::string_view range_;
};

} // namespace zt

class CZTContent {
public:
    CZTContent() = default;
    CZTContent(std::string bytes) : bytes_(std::move(bytes)) {}
    CZTContent& operator=(std::string bytes) {
        bytes_ = std::move(bytes);
        block_.reset();
        return *this;
    }

    // The stored buffer; built from the shared range when first asked for.
    const std::string& str() const {
        if (block_) Build();
        return bytes_;
    }
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }
    // For changes in place.
    std::string& Mutable() {
        if (block_) Build();
        return bytes_;
    }

    // The size of the stored buffer (known without building it).
    size_t size() const;
    bool empty() const { return block_ ? length_ == 0 : bytes_.empty(); }
    void clear() {
        bytes_.clear();
        block_.reset();
    }

    // Holds the text at [offset, offset + length) of `block`; `length` > 0.
    void Share(std::shared_ptr<const zt::CZTBlock> block, size_t offset, size_t length);
    bool IsShared() const { return block_ != nullptr; }
    // The uncompressed text while shared.
    std::string_view SharedText() const {
        return block_ ? std::string_view(block_->data() + offset_, length_) : std::string_view();
    }

private:
    void Build() const;

    mutable std::string bytes_;
    mutable std::shared_ptr<const zt::CZTBlock> block_;
    size_t offset_ = 0;
    size_t length_ = 0;
};
