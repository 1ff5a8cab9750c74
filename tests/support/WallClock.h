// Wall-clock bounds of the tests. A sanitizer build runs the same code
// several times slower (ThreadSanitizer most), so a bound on how long a step
// may take is widened there by SanitizerSlowdown; the ordinary build keeps
// the bound as the test states it.
#pragma once

#include <cstdint>

namespace zorbel::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZORBEL_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZORBEL_TEST_SANITIZED 1
#endif
#endif

#ifdef ZORBEL_TEST_SANITIZED
constexpr int64_t SanitizerSlowdown = 5;
#else
constexpr int64_t SanitizerSlowdown = 1;
#endif

// A bound of ms milliseconds in this build.
constexpr int64_t WallClockBound(int64_t ms) { return ms * SanitizerSlowdown; }

} // namespace zorbel::test
