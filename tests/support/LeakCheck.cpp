#include "tests/support/LeakCheck.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace testing_support {

size_t CountOpenHandles()
{
    size_t count = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return count;
}

size_t CountFreeTlsIndexes()
{
    std::vector<DWORD> taken;
    for (DWORD dwIndex; (dwIndex = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
        taken.push_back(dwIndex);
    for (DWORD dwIndex : taken)
        TlsFree(dwIndex);
    return taken.size();
}

HeapUse MeasureHeapUse()
{
    HeapUse use;
    HANDLE heaps[64];
    for (DWORD i = 0, n = std::min<DWORD>(GetProcessHeaps(64, heaps), 64); i < n; ++i)
    {
        for (PROCESS_HEAP_ENTRY entry = {}; HeapWalk(heaps[i], &entry);)
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                use.nBlocks += 1, use.nBytes += entry.cbData;
    }
    return use;
}

namespace {

// Bytes of the regions of the address space of the given type and state.
size_t RegionBytes(DWORD type, DWORD states)
{
    size_t total = 0;
    MEMORY_BASIC_INFORMATION info;
    const char* address = nullptr;
    while (VirtualQuery(address, &info, sizeof(info)) == sizeof(info))
    {
        if ((info.State & states) != 0 && info.Type == type)
            total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return total;
}

} // namespace

size_t CommittedPrivateBytes()
{
    return RegionBytes(MEM_PRIVATE, MEM_COMMIT);
}

size_t MappedViewBytes()
{
    return RegionBytes(MEM_MAPPED, MEM_COMMIT | MEM_RESERVE);
}

void ExpectNoLeaks(const std::function<void()>& body, int nRounds, LeakTolerance tolerance)
{
    for (int i = 0; i < 50; ++i)
        body();
    const size_t handles = CountOpenHandles();
    const size_t memory = CommittedPrivateBytes();
    const size_t views = MappedViewBytes();
    for (int i = 0; i < nRounds; ++i)
        body();
    EXPECT_EQ(views, MappedViewBytes()) << "bytes of mapped views after " << nRounds << " rounds";
    const size_t handlesAfter = CountOpenHandles();
    const size_t memoryAfter = CommittedPrivateBytes();
    EXPECT_LE(handlesAfter, handles + tolerance.nHandles) << "open handles after " << nRounds << " rounds, "
                                                          << handles << " before";
    EXPECT_LE(memoryAfter, memory + tolerance.nBytes)
        << "committed private bytes grew by " << static_cast<long long>(memoryAfter) - static_cast<long long>(memory);
}

} // namespace testing_support
