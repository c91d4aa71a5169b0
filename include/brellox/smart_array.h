// CSmartArray<T>: the list type in which the library hands IDs to callers.
//
// The template is compiled on both sides of the library boundary, so its
// layout and member behaviour are part of the interface: a pointer to the
// owned backing stream, the element size and the element count, in that
// order. Element i occupies stream bytes [i * size, (i + 1) * size).
//
// CSmartFile is the growable in-memory byte stream behind the list. It lives
// in the library; callers only construct it through CSmartArray and delete it
// through its virtual destructor. Its class-level operator new and delete
// live in the library too, so its memory is allocated and freed by the
// library whichever module compiles the `new` and the `delete`.
//
// Callers built by GCC (MinGW) and by MSVC both use this header unchanged;
// the library exports every member under both compilers' names and follows
// each one's constructor and deleting-destructor conventions (see
// doc/windows_callers.md).
#ifndef BRELLOX_SMART_ARRAY_H_
#define BRELLOX_SMART_ARRAY_H_

#include <stddef.h>

#include "brellox/export.h"

class BRELLOX_EXPORT CSmartFile {
 public:
  // `kind` must be 1 (an in-memory stream). The buffer grows in multiples of
  // `growBy` bytes (0 means 1), the stream starts `initialLength` zero bytes
  // long, and `reserve` bytes are set aside up front. An allocation that
  // fails leaves the stream empty.
  CSmartFile(char kind, unsigned int growBy, SVR_LONG initialLength,
             unsigned int reserve);
  virtual ~CSmartFile();

  // Allocate and free CSmartFile objects in the library's heap. operator new
  // returns NULL when memory cannot be had (a `new CSmartFile` then yields
  // NULL and constructs nothing).
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* object) noexcept;

  CSmartFile(const CSmartFile&) = delete;
  CSmartFile& operator=(const CSmartFile&) = delete;

  // Moves the position to `offset` from the start (`from` 0), the current
  // position (1) or the end (2). Returns the new position, or -1 (position
  // unchanged) for an unknown `from` or a position below 0.
  SVR_LONG Seek(SVR_LONG offset, unsigned int from);

  // Writes `size` bytes at the position and advances past them. A write at
  // or past the end extends the stream; a gap before the position reads as
  // zeros. If memory for the extension cannot be had, nothing is written.
  void Write(const void* data, unsigned int size);

  // Returns a pointer to the `size` bytes at the position, readable in place
  // until the next Write or SetLength, and advances past them; NULL (position
  // unchanged) when fewer than `size` bytes lie there.
  void* ReadMemPtr(unsigned int size);

  // Truncates or zero-extends the stream to `length` bytes. The position is
  // kept. If memory for the extension cannot be had, the length is kept.
  void SetLength(SVR_ULONG length);

 private:
  bool Reserve(size_t length);

  unsigned char* data_;
  size_t length_;
  size_t capacity_;
  size_t position_;
  size_t growBy_;
};

template <class T>
class CSmartArray {
 public:
  CSmartArray()
      : m_pFile(new CSmartFile(1, sizeof(T), 0, 0)),
        m_nElementSize(static_cast<SVR_LONG>(sizeof(T))),
        m_nCount(0) {}

  ~CSmartArray() {
    if (m_pFile != NULL) {
      delete m_pFile;
      m_pFile = NULL;
    }
  }

  CSmartArray(const CSmartArray&) = delete;
  CSmartArray& operator=(const CSmartArray&) = delete;

  SVR_LONG GetSize() const { return m_nCount; }

  // Appends the first sizeof(T) bytes at `element`; returns the new index.
  SVR_LONG Add(const void* element) {
    SVR_LONG index = m_nCount;
    m_pFile->Seek(index * m_nElementSize, 0);
    m_pFile->Write(element, static_cast<unsigned int>(m_nElementSize));
    m_nCount = index + 1;
    return index;
  }

  // Returns -1 for a negative `n`, leaving the list as it was; otherwise
  // resizes to `n` elements (new ones read as zero) and returns 1.
  SVR_LONG SetSize(SVR_LONG n) {
    if (n < 0) return -1;
    m_pFile->SetLength(static_cast<SVR_ULONG>(n) *
                       static_cast<SVR_ULONG>(m_nElementSize));
    m_nCount = n;
    return 1;
  }

  void RemoveAll() { SetSize(0); }

  // Pointer to element i inside the stream, valid until the next Add,
  // SetSize or destruction; NULL when i is outside [0, GetSize()).
  T* GetAt(SVR_LONG i) {
    if (i < 0 || i >= m_nCount) return NULL;
    m_pFile->Seek(i * m_nElementSize, 0);
    return static_cast<T*>(
        m_pFile->ReadMemPtr(static_cast<unsigned int>(m_nElementSize)));
  }

 private:
  CSmartFile* m_pFile;
  SVR_LONG m_nElementSize;
  SVR_LONG m_nCount;
};

#endif  // BRELLOX_SMART_ARRAY_H_
