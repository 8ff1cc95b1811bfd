// Bounds-checked memory and string functions with the usual contract: destination, destination
// size, then the usual arguments. A violation never writes past the destination and returns
// non-zero; where the destination is usable it is left empty (strings) or zero (memory).
//
// They live in this library's own namespace and are inline with hidden visibility, so they can
// never clash with a C library that defines functions of the same names. Call them qualified.
#ifndef WEX_PUBLICLIB_BOUNDED_H
#define WEX_PUBLICLIB_BOUNDED_H

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace wex::bounded {

constexpr int kOk = 0;
constexpr int kInvalid = 22; // EINVAL: a null pointer or a zero-sized destination
constexpr int kRange = 34;   // ERANGE: the data does not fit

inline int memcpy_s(void *dest, size_t destSize, const void *src, size_t count) {
    if (dest == nullptr) {
        return kInvalid;
    }
    if (src == nullptr || count > destSize) {
        std::memset(dest, 0, destSize);
        return src == nullptr ? kInvalid : kRange;
    }
    if (count != 0) {
        std::memmove(dest, src, count);
    }
    return kOk;
}

inline int memset_s(void *dest, size_t destSize, int value, size_t count) {
    if (dest == nullptr) {
        return kInvalid;
    }
    bool fits = count <= destSize;
    std::memset(dest, value, fits ? count : destSize);
    return fits ? kOk : kRange;
}

inline int strcpy_s(char *dest, size_t destSize, const char *src) {
    if (dest == nullptr || destSize == 0) {
        return kInvalid;
    }
    if (src == nullptr) {
        dest[0] = '\0';
        return kInvalid;
    }
    size_t length = strnlen(src, destSize);
    if (length == destSize) {
        dest[0] = '\0';
        return kRange;
    }
    std::memcpy(dest, src, length + 1);
    return kOk;
}

inline int strcat_s(char *dest, size_t destSize, const char *src) {
    if (dest == nullptr || destSize == 0) {
        return kInvalid;
    }
    size_t used = strnlen(dest, destSize);
    if (src == nullptr || used == destSize) {
        dest[0] = '\0';
        return src == nullptr ? kInvalid : kRange;
    }
    size_t length = strnlen(src, destSize - used);
    if (used + length == destSize) {
        dest[0] = '\0';
        return kRange;
    }
    std::memcpy(dest + used, src, length + 1);
    return kOk;
}

// Returns the number of bytes written (without the NUL), or -1 with dest empty when the text
// does not fit or the format fails.
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
inline int
sprintf_s(char *dest, size_t destSize, const char *format, ...) {
    if (dest == nullptr || destSize == 0 || format == nullptr) {
        return -1;
    }
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(dest, destSize, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= destSize) {
        dest[0] = '\0';
        return -1;
    }
    return written;
}

} // namespace wex::bounded

#endif
