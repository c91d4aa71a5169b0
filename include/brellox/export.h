// Export macro and the fixed-width integer types of the exported interface.
//
// The public headers include C headers only, so that a caller compiles them
// without any C++ standard library (a freestanding MSVC-convention build
// among them).
#ifndef BRELLOX_EXPORT_H_
#define BRELLOX_EXPORT_H_

#include <stdint.h>

// On Windows a caller imports the interface from the DLL. The library's own
// build defines BRELLOX_BUILDING for the objects that define the interface,
// and BRELLOX_STATIC for code linked into the same module as those
// definitions (the library's internal objects, a program that links the
// library statically), which neither exports nor imports it.
#if defined(_WIN32)
#if defined(BRELLOX_BUILDING)
#define BRELLOX_EXPORT __declspec(dllexport)
#elif defined(BRELLOX_STATIC)
#define BRELLOX_EXPORT
#else
#define BRELLOX_EXPORT __declspec(dllimport)
#endif
#else
#define BRELLOX_EXPORT __attribute__((visibility("default")))
#endif

// Every integer of the interface is 32 bits wide on every target. On Windows
// that is `long`, which the existing callers use; elsewhere `long` is 64 bits,
// so the interface names the width explicitly.
#if defined(_WIN32)
typedef long SVR_LONG;
typedef unsigned long SVR_ULONG;
#else
typedef int32_t SVR_LONG;
typedef uint32_t SVR_ULONG;
#endif

static_assert(sizeof(SVR_LONG) == 4, "SVR_LONG must be 32 bits");
static_assert(sizeof(SVR_ULONG) == 4, "SVR_ULONG must be 32 bits");

#endif  // BRELLOX_EXPORT_H_
