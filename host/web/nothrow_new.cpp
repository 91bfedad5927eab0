// Allocation that can fail. The module's C++ library is built without
// exceptions, so its nothrow operator new aborts the whole page when memory runs
// out instead of returning null; these replacements return null, as the world's
// Create functions expect, so a world too large for the browser is refused with
// a message. Deletion stays the library's, which frees with free().

#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
