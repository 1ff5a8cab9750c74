// ZORBEL_ASSERT(condition): checks an invariant that a comment states and
// that a fault would otherwise break silently (a sorted list out of order, a
// record's size that does not match its bytes, an offset behind the one
// before). The sanitizer builds define ZORBEL_ASSERTS and stop the program
// with the condition, file and line on stderr; other builds compile the
// condition away unevaluated, so a check costs nothing in the program.
//
// A macro because the check must vanish with its condition and name it.
#pragma once

namespace zorbel {

[[noreturn]] void AssertFailed(const char *condition, const char *file, int line);

} // namespace zorbel

#ifdef ZORBEL_ASSERTS
#define ZORBEL_ASSERT(condition)                                                                                      \
    ((condition) ? static_cast<void>(0) : ::zorbel::AssertFailed(#condition, __FILE__, __LINE__))
#else
#define ZORBEL_ASSERT(condition) static_cast<void>(sizeof(static_cast<bool>(condition)))
#endif
