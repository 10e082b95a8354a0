#include "tests/module/ModuleFixture.h"
#include "tests/support/LeakCheck.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// Reads the export and import directories of a loaded image.
struct ImageDirectories
{
    std::string exportName;
    DWORD functionCount = 0;
    std::vector<std::pair<std::string, WORD>> names;   // name and ordinal
    std::vector<std::string> imports;
};

ImageDirectories ReadDirectories(HMODULE module)
{
    ImageDirectories out;
    auto base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& exportDir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exportDir.VirtualAddress);
    out.exportName = reinterpret_cast<const char*>(base + exports->Name);
    out.functionCount = exports->NumberOfFunctions;
    auto nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    auto ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        out.names.emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]),
                               static_cast<WORD>(ordinals[i] + exports->Base));
    const IMAGE_DATA_DIRECTORY& importDir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + importDir.VirtualAddress); desc->Name;
         ++desc)
        out.imports.emplace_back(reinterpret_cast<const char*>(base + desc->Name));
    return out;
}

using ClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using NoArgFn = HRESULT(STDAPICALLTYPE*)();

// Asks the module for a class object and throws inside the throwing DLL,
// then ends, or with hStop waits for it.
struct CallerThread
{
    ClassObjectFn pfnGetClassObject;
    int (*pfnThrowAndCatch)(int);
    HANDLE hAsked;
    HANDLE hStop;
};

DWORD WINAPI AskThenWait(LPVOID pParam)
{
    const CallerThread* pCaller = static_cast<const CallerThread*>(pParam);
    void* pOut = nullptr;
    pCaller->pfnGetClassObject(CLSID_NULL, IID_IClassFactory, &pOut);
    pCaller->pfnThrowAndCatch(2);
    SetEvent(pCaller->hAsked);
    return pCaller->hStop != nullptr ? WaitForSingleObject(pCaller->hStop, INFINITE) : 0;
}

} // namespace

TEST(Exports, ExactlyTheFourEntryPointsByNameAndOrdinal)
{
    TempDir dir;
    LoadedModule module(dir.Path());
    ASSERT_NE(nullptr, module.Handle());
    ImageDirectories image = ReadDirectories(module.Handle());
    EXPECT_EQ("Kestrum.OCX", image.exportName);
    EXPECT_EQ(4u, image.functionCount);
    std::set<std::pair<std::string, WORD>> expected = {
        {"DllCanUnloadNow", 1}, {"DllGetClassObject", 2}, {"DllRegisterServer", 3}, {"DllUnregisterServer", 4}};
    EXPECT_EQ(expected, (std::set<std::pair<std::string, WORD>>(image.names.begin(), image.names.end())));
    for (const auto& entry : expected)
        EXPECT_EQ(module.Export(entry.first.c_str()), module.Export(entry.second)) << entry.first;
}

TEST(Exports, ImportsOnlySystemLibraries)
{
    TempDir dir;
    LoadedModule module(dir.Path());
    ASSERT_NE(nullptr, module.Handle());
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    for (std::string name : ReadDirectories(module.Handle()).imports)
    {
        for (char& ch : name)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        SCOPED_TRACE(name);
        for (const char* runtime : {"libstdc++", "libgcc", "libwinpthread"})
            EXPECT_EQ(std::string::npos, name.find(runtime));
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((std::string(system) + "\\" + name).c_str()));
    }
}

// Load, the four exports by ordinal and free, as a long-running host repeats
// them, beside a DLL with the same runtime that throws inside itself; every
// 25th cycle a thread uses both and ends while they are loaded (its thread
// detach), or stays alive across the free.
// Nothing may stay behind: free TLS indexes and open handles as before, the
// heap within 64 KiB and a few blocks.
TEST(Exports, LoadAndFreeThousandsOfTimesLeavesNothingBehind)
{
    const std::string path = ExeDir() + "Kestrum.ocx";   // no REG.DAT beside it
    const std::string throwingPath = ExeDir() + "throwing_module.dll";
    const CLSID anyClass = {0xA65B8071, 0x3BFE, 0x4213, {0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7}};
    HANDLE hAsked = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE hStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<HANDLE> live;
    live.reserve(64);
    size_t nFreeTls = 0, nHandles = 0;
    HeapUse heap;
    for (int i = 0; i < 2050; ++i)
    {
        if (i == 50)   // platform caches and the heap settle first
        {
            nFreeTls = CountFreeTlsIndexes();
            nHandles = CountOpenHandles();
            heap = MeasureHeapUse();
        }
        HMODULE hModule = LoadLibraryA(path.c_str());
        HMODULE hThrowing = LoadLibraryA(throwingPath.c_str());
        ASSERT_TRUE(hModule != nullptr && hThrowing != nullptr) << "load " << i << ", error " << GetLastError();
        auto proc = [](HMODULE h, LPCSTR name) { return reinterpret_cast<void*>(GetProcAddress(h, name)); };
        auto call = [&](WORD ordinal) { return reinterpret_cast<NoArgFn>(proc(hModule, MAKEINTRESOURCEA(ordinal)))(); };
        CallerThread caller = {reinterpret_cast<ClassObjectFn>(proc(hModule, MAKEINTRESOURCEA(2))),
                               reinterpret_cast<int (*)(int)>(proc(hThrowing, "ThrowAndCatch")), hAsked,
                               i % 50 == 0 && i > 50 ? hStop : nullptr};
        EXPECT_EQ(3, caller.pfnThrowAndCatch(3));
        void* pOut = &caller;
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, caller.pfnGetClassObject(anyClass, IID_IClassFactory, &pOut));
        EXPECT_EQ(nullptr, pOut);
        EXPECT_EQ(S_OK, call(1));
        if (i % 25 == 0)
        {
            EXPECT_EQ(S_OK, call(3));
            EXPECT_EQ(S_OK, call(4));
            EXPECT_EQ(S_OK, call(1));
            HANDLE hThread = CreateThread(nullptr, 0, AskThenWait, &caller, 0, nullptr);
            WaitForSingleObject(hAsked, INFINITE);
            if (caller.hStop != nullptr)
                live.push_back(hThread);
            else if (WaitForSingleObject(hThread, INFINITE) == WAIT_OBJECT_0)
                CloseHandle(hThread);
        }
        FreeLibrary(hThrowing);
        FreeLibrary(hModule);
    }
    SetEvent(hStop);
    for (HANDLE hThread : live)
    {
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
    }
    EXPECT_EQ(nFreeTls, CountFreeTlsIndexes());
    EXPECT_EQ(nHandles, CountOpenHandles());
    const HeapUse heapAfter = MeasureHeapUse();
    EXPECT_LT(heapAfter.nBlocks - heap.nBlocks, 20) << "each live thread's state would be one";
    EXPECT_LT(heapAfter.nBytes - heap.nBytes, 64 * 1024);
    CloseHandle(hStop);
    CloseHandle(hAsked);
}
