// The whole runtime of the MSVC-convention caller: it links no C or C++
// library, only kernel32 and brellox. runtime.cc also supplies what the
// compiler itself calls (entry point, global new and delete, memset,
// memcpy, _fltused, __chkstk).
#ifndef BRELLOX_TESTS_MSVC_CALLER_RUNTIME_H_
#define BRELLOX_TESTS_MSVC_CALLER_RUNTIME_H_

#include <stddef.h>

extern "C" void* memset(void* dest, int value, size_t size);
extern "C" void* memcpy(void* dest, const void* src, size_t size);

// Writes `text` to standard output.
void Print(const char* text);

// Writes `value` in decimal to standard output.
void PrintNumber(long value);

// The program; its result is the process's exit code.
int RunCaller();

#endif  // BRELLOX_TESTS_MSVC_CALLER_RUNTIME_H_
