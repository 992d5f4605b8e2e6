#include "core/content.h"

#include "core/compress.h"

#include <sys/mman.h>

#include <new>

namespace zt {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
}

std::shared_ptr<CZTBlock> CZTBlock::Allocate(size_t size) {
    // Rounded up to whole huge pages, so that the tail can be one as well.
    const size_t mapped = size == 0 ? kHugePage : (size + kHugePage - 1) / kHugePage * kHugePage;
    void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(p, mapped, MADV_HUGEPAGE);
#endif
    return std::shared_ptr<CZTBlock>(new CZTBlock(static_cast<char*>(p), size, mapped));
}

CZTBlock::~CZTBlock() { ::munmap(data_, mapped_); }

} // namespace zt

size_t CZTContent::size() const {
    return block_ ? zt::StoredBufferSize(length_) : bytes_.size();
}

void CZTContent::Share(std::shared_ptr<const zt::CZTBlock> block, size_t offset, size_t length) {
    bytes_.clear();
    bytes_.shrink_to_fit();
    block_ = std::move(block);
    offset_ = offset;
    length_ = length;
}

void CZTContent::Build() const {
    bytes_ = zt::StoreBuffer(SharedText());
    block_.reset();
}
