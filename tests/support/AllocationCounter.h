// Counts the heap allocations and releases of the whole process, every thread
// and loaded library included, while an AllocationCounter is alive. Linking
// the velmora_alloc_counter object library replaces the global operator new
// and delete of the executable; they forward to malloc and free, so sanitizer
// builds still see every block.
#pragma once

namespace velmora::test {

// Construction starts counting from zero and destruction stops it; neither
// allocates, so a counter can sit right around the code it checks. One at a
// time: the counts are shared by the whole process.
class AllocationCounter {
public:
    AllocationCounter() noexcept;
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    // Every form of operator new, nothrow and aligned ones included.
    long allocations() const noexcept;
    // Every form of operator delete given a non-null pointer.
    long frees() const noexcept;
};

} // namespace velmora::test
