// A block of bytes that starts on a page boundary.
//
// Where a buffer starts matters to the kernel's copies: on some processors
// (seen on AMD Zen 3) a read() into a buffer that starts 1 to 31 bytes past a
// page boundary runs several times slower than one into a buffer on the
// boundary, because the copy's destination trails its page-aligned source by
// that little. A large block from malloc starts 16 bytes past a page, right in
// that range. The floor stands for the best case, so its buffers start on a
// page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace NimbrelBench {

inline constexpr std::size_t PageAlignment = 4096;

struct TAlignedDelete {
    void operator()(std::uint8_t* Block) const { ::operator delete[](Block, std::align_val_t{PageAlignment}); }
};

using TAlignedBlock = std::unique_ptr<std::uint8_t[], TAlignedDelete>;

// Not zero-filled. Raises std::bad_alloc when the block cannot be had.
inline TAlignedBlock MakeAlignedBlock(std::size_t Size)
{
    return TAlignedBlock(static_cast<std::uint8_t*>(::operator new[](Size, std::align_val_t{PageAlignment})));
}

} // namespace NimbrelBench
