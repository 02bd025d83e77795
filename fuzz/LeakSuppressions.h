// Leak-checker suppressions for the fuzz targets that draw text. fontconfig
// keeps its caches until the process ends, which the leak checker reports.
// Weak, so that a suppression hook compiled in elsewhere takes precedence.
#pragma once

extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
