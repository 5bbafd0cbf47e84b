// ThreadSanitizer settings for the window tests, read by the sanitizer at start (the run's own
// TSAN_OPTIONS still apply on top). Unused in other builds.
//
// Qt is not built with the sanitizer, so TSan cannot see the synchronisation inside Qt's own
// thread pool, over which QImage spreads the conversion and scaling of large images: the memory
// calls Qt makes on its pool threads read as races with the thread that handed the work over.
// Qt's own code is not analysed anyway (it is not instrumented), so the memory calls it makes
// are left out too; every access made by our code is still checked. The tests start child
// processes from a process with threads (the loopback servers), which TSan refuses by default.

extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "race:QThreadPoolPrivate::enqueueTask\n";
}

extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
