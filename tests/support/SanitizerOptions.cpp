// Built into every test program. In a ThreadSanitizer build the sanitizer
// reads these defaults at start, before main, so the suppressions of Qt's
// own internals (tests/tsan.supp, each entry with its reason) hold however
// a test is started (ctest, the README's command, by hand). TSAN_OPTIONS set
// by the caller still comes on top.
#ifdef ZORBEL_TSAN_SUPPRESSIONS
extern "C" const char *__tsan_default_options()
{
    return "suppressions=" ZORBEL_TSAN_SUPPRESSIONS;
}
#endif

// In an AddressSanitizer build: fontconfig keeps the patterns of the fonts
// Qt asked for until the process ends and frees none of them at exit, so
// LeakSanitizer would report them for every program that drew text without
// tearing its application down first (the fuzz harnesses' replays). Only
// stacks that allocate inside fontconfig are left out.
#if defined(__SANITIZE_ADDRESS__)
#define ZORBEL_LSAN_DEFAULTS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZORBEL_LSAN_DEFAULTS 1
#endif
#endif
#ifdef ZORBEL_LSAN_DEFAULTS
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif
