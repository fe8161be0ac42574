#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrion {

inline constexpr std::uint32_t kFormatOk = 0;
inline constexpr std::uint32_t kFormatInvalidArg = 0x80070057;          // E_INVALIDARG
inline constexpr std::uint32_t kFormatInsufficientBuffer = 0x8007007A;  // STRSAFE_E_...

// printf into `dest` of `capacity` characters, as the system's safe string printer does:
// a capacity of 0 or above 0x7FFFFFFF writes nothing and gives kFormatInvalidArg; otherwise
// at most capacity - 1 characters are written, always followed by a zero byte, and a cut
// output gives kFormatInsufficientBuffer.
std::uint32_t BoundedFormat(char* dest, std::size_t capacity, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace kestrion
