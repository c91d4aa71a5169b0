#include "runtime.h"

namespace {

typedef void* Handle;

extern "C" {
__declspec(dllimport) Handle __stdcall GetProcessHeap();
__declspec(dllimport) void* __stdcall HeapAlloc(Handle heap,
                                                unsigned long flags,
                                                size_t size);
__declspec(dllimport) int __stdcall HeapFree(Handle heap, unsigned long flags,
                                             void* memory);
__declspec(dllimport) Handle __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(Handle file, const void* data,
                                              unsigned long size,
                                              unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(
    unsigned int code);
}

const unsigned long kStdOutput = static_cast<unsigned long>(-11);

}  // namespace

void Print(const char* text) {
  unsigned long length = 0;
  while (text[length] != '\0') ++length;
  unsigned long written = 0;
  WriteFile(GetStdHandle(kStdOutput), text, length, &written, nullptr);
}

void PrintNumber(long value) {
  char digits[16];
  char* at = digits + sizeof digits;
  *--at = '\0';
  unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value)
                                      : static_cast<unsigned long>(value);
  do {
    *--at = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--at = '-';
  Print(at);
}

// The compiler turns loops into calls of these, so they are written with
// string instructions, which it leaves alone.
extern "C" void* memset(void* dest, int value, size_t size) {
  void* at = dest;
  __asm__ volatile("rep stosb" : "+D"(at), "+c"(size) : "a"(value) : "memory");
  return dest;
}

extern "C" void* memcpy(void* dest, const void* src, size_t size) {
  void* to = dest;
  __asm__ volatile("rep movsb" : "+D"(to), "+S"(src), "+c"(size) : : "memory");
  return dest;
}

void* operator new(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void operator delete(void* memory) noexcept {
  if (memory != nullptr) HeapFree(GetProcessHeap(), 0, memory);
}
void operator delete(void* memory, size_t) noexcept { operator delete(memory); }

// Marks a program that uses floating point; MSVC's runtime defines it.
extern "C" int _fltused = 0;

// __chkstk touches each page of a stack frame larger than one page, in
// order, before the frame is used, so the guard page grows the stack. On
// x86-64 the caller moves the stack pointer itself; on x86 __chkstk does.
#if defined(__x86_64__)
__asm__(
    ".globl __chkstk\n"
    "__chkstk:\n"
    "  pushq %rcx\n"
    "  pushq %rax\n"
    "  leaq 24(%rsp), %rcx\n"  // the stack pointer of the caller
    "1:\n"
    "  cmpq $0x1000, %rax\n"
    "  jb 2f\n"
    "  subq $0x1000, %rcx\n"
    "  testq %rcx, (%rcx)\n"
    "  subq $0x1000, %rax\n"
    "  jmp 1b\n"
    "2:\n"
    "  subq %rax, %rcx\n"
    "  testq %rcx, (%rcx)\n"
    "  popq %rax\n"
    "  popq %rcx\n"
    "  ret\n");
#else
__asm__(
    ".globl __chkstk\n"
    "__chkstk:\n"
    "  pushl %ecx\n"
    "  leal 8(%esp), %ecx\n"  // the stack pointer of the caller
    "1:\n"
    "  cmpl $0x1000, %eax\n"
    "  jb 2f\n"
    "  subl $0x1000, %ecx\n"
    "  testl %ecx, (%ecx)\n"
    "  subl $0x1000, %eax\n"
    "  jmp 1b\n"
    "2:\n"
    "  subl %eax, %ecx\n"
    "  testl %ecx, (%ecx)\n"
    "  leal 4(%esp), %eax\n"  // where the return address is
    "  movl %ecx, %esp\n"     // the new stack pointer
    "  movl -4(%eax), %ecx\n"
    "  pushl (%eax)\n"     // the return address, on the new stack
    "  subl %esp, %eax\n"  // eax as it came in
    "  ret\n");
#endif

extern "C" void mainCRTStartup() {
  ExitProcess(static_cast<unsigned int>(RunCaller()));
}
