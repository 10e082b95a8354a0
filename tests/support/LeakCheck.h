// Process-wide counts of open handles, free TLS indexes, heap blocks,
// committed private memory and mapped views, and the leak check built on
// them.
#pragma once

#include <cstddef>
#include <functional>

namespace testing_support {

// The number of valid handles in the process, found by asking the platform
// about every possible handle value (GetProcessHandleCount is not reliable
// under every platform layer).
size_t CountOpenHandles();

// The number of TLS indexes still free: all are taken, counted and given
// back (the lowest free index alone misses a leak above a freed one).
size_t CountFreeTlsIndexes();

// Blocks and bytes in use on every heap of the process.
struct HeapUse
{
    long long nBlocks = 0;
    long long nBytes = 0;
};
HeapUse MeasureHeapUse();

// Bytes of committed private memory in the process's address space.
size_t CommittedPrivateBytes();

// Bytes of the address space taken by mapped views of files and sections.
size_t MappedViewBytes();

// What a leak check lets grow: a fixed amount, while a leak grows with the
// rounds. The heap may commit a few pages for its own bookkeeping while
// blocks of new sizes come and go; some platform libraries keep a handle or
// two they open on first need.
struct LeakTolerance
{
    size_t nHandles = 0;          // open handles more than before
    size_t nBytes = 256 * 1024;   // committed private bytes more than before
};

// Runs body 50 times to let lazily made platform and heap state settle, then
// nRounds times more, and expects the mapped views exactly where they were
// and the open handles and committed private memory grown by no more than
// the tolerance.
void ExpectNoLeaks(const std::function<void()>& body, int nRounds, LeakTolerance tolerance = LeakTolerance());

} // namespace testing_support
