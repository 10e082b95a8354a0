// DecimalDigits: the room decimal text needs, for the operations that build
// a text on the stack with std::to_chars and then make one string of it.
// Not part of the library's interface.
#pragma once

#include <windows.h>

#include <limits>

namespace util_internal {

// Room for the decimal text of any 64-bit integer: the 20 digits of the
// largest unsigned value, or a sign and the 19 digits of the smallest
// signed one.
constexpr int kMaxDecimalText = std::numeric_limits<ULONGLONG>::digits10 + 1;
static_assert(kMaxDecimalText >= 1 + std::numeric_limits<LONGLONG>::digits10 + 1, "a sign and 19 digits");

} // namespace util_internal
