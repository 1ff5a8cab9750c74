// Built into every test program of a ThreadSanitizer build: the sanitizer
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
