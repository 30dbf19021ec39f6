// An allocator for the large arrays one request fills at once: a block of 64 KiB or more is
// mapped with all its pages present, so filling it costs one system call instead of a page
// fault per 4 KiB (which is what makes a fresh large block slow on a virtual machine).
#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <new>

template <class T>
struct TPrefaultedAllocator {
  using value_type = T;
  static constexpr size_t kLarge = 64 * 1024;

  TPrefaultedAllocator() = default;
  template <class U>
  TPrefaultedAllocator(const TPrefaultedAllocator<U>&) {}

  T* allocate(size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes < kLarge) return static_cast<T*>(::operator new(bytes));
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes < kLarge) ::operator delete(p);
    else ::munmap(p, bytes);
  }
  template <class U>
  bool operator==(const TPrefaultedAllocator<U>&) const { return true; }
};
