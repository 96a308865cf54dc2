// The suppressions of lsan.supp for the test processes themselves (LeakSanitizer reads this
// hook before main; child processes get the file through LSAN_OPTIONS).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
