// Qt and glibc are not built with the thread sanitizer, so their own locks are invisible to it:
// QSettings keeps a process-wide cache behind a Qt mutex, and glibc guards its time-zone state
// with an internal lock. The config accessors reach both from the GUI and the poll thread.
#if defined(__SANITIZE_THREAD__)
extern "C" const char *__tsan_default_suppressions()
{
    return "race:paramValue\n"
           "race:tzset_internal\n";
}
#endif
