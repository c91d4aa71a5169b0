// CSmartFile as a caller built by MSVC reaches it. Such a caller compiles
// `new CSmartFile(...)` as CSmartFile::operator new followed by the
// constructor, and takes the constructor's result as the object's address;
// it compiles `delete stream` as a call of the first slot of the object's
// virtual table, MSVC's scalar deleting destructor (this, flags). GCC's
// constructor returns nothing and GCC's table holds two destructors, so the
// MSVC constructor name is exported here (see cmake/msvc/make_defs.cmake):
// it constructs as usual and then points the object at a table laid out as
// MSVC expects. Every other member works unchanged for both compilers,
// because the object's layout, the calling conventions of the members and
// the heap (the class's own operator new and delete) are the same.
//
// An object's table follows the constructor that made it, and CSmartArray
// constructs and deletes its stream in code of one and the same caller, so
// each `delete` finds the convention its compiler expects.
#include <cstring>
#include <new>

#include "brellox/smart_array.h"

// Members are __thiscall on 32-bit x86 for both compilers; these free
// functions stand in for members, so they must be too. On x86-64 there is
// one convention.
#if defined(__i386__)
#define BRELLOX_THISCALL __attribute__((thiscall))
#else
#define BRELLOX_THISCALL
#endif

namespace {

typedef void*(BRELLOX_THISCALL* DeletingDestructor)(CSmartFile*, unsigned int);

// Flag bit 0 asks for the memory to be freed after destruction.
void* BRELLOX_THISCALL ScalarDeletingDestructor(CSmartFile* self,
                                                unsigned int flags) {
  // Qualified, so not a virtual call through the table being served.
  self->CSmartFile::~CSmartFile();
  if ((flags & 1) != 0) CSmartFile::operator delete(self);
  return self;
}

// MSVC's table: the slot before the first holds the type information that
// only typeid and dynamic_cast read; CSmartFile offers none to such callers.
struct MsvcTable {
  const void* type_info;
  DeletingDestructor slots[1];
};
const MsvcTable kMsvcTable = {nullptr, {&ScalarDeletingDestructor}};

}  // namespace

extern "C" CSmartFile* BRELLOX_THISCALL brellox_msvc_construct_CSmartFile(
    CSmartFile* self, char kind, unsigned int growBy, SVR_LONG initialLength,
    unsigned int reserve) {
  ::new (static_cast<void*>(self))
      CSmartFile(kind, growBy, initialLength, reserve);
  // The table pointer is the object's first word in both compilers' layout.
  const DeletingDestructor* table = kMsvcTable.slots;
  std::memcpy(static_cast<void*>(self), &table, sizeof table);
  return self;
}
