// Leak checking for the window tests: fontconfig, which Qt's font database
// loads, keeps caches for the life of the process and never frees them. Those
// are the system library's, not ours; everything else is still reported.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
