#include "tests/module/ModuleFixture.h"
#include "tests/support/LeakCheck.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// The export and import directories of a module, read from its file as the
// loader would lay it out, so that an image of either width can be read.
struct ImageDirectories
{
    std::string exportName;
    DWORD functionCount = 0;
    std::vector<std::pair<std::string, WORD>> names;   // name and ordinal
    std::vector<std::string> imports;
};

class ImageFile
{
public:
    explicit ImageFile(const std::string& path) : m_bytes(ReadFileBytes(path)) {}

    bool Read(ImageDirectories* pOut) const
    {
        auto dos = At<IMAGE_DOS_HEADER>(0);
        auto nt = dos ? At<IMAGE_NT_HEADERS32>(dos->e_lfanew) : nullptr;
        if (!nt || dos->e_magic != IMAGE_DOS_SIGNATURE || nt->Signature != IMAGE_NT_SIGNATURE)
            return false;
        // The two widths differ only in the optional header, which holds the directories.
        const IMAGE_DATA_DIRECTORY* dirs = nt->OptionalHeader.DataDirectory;
        if (nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
            dirs = At<IMAGE_NT_HEADERS64>(dos->e_lfanew)->OptionalHeader.DataDirectory;
        m_sections = At<IMAGE_SECTION_HEADER>(dos->e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                                              nt->FileHeader.SizeOfOptionalHeader);
        m_nSections = nt->FileHeader.NumberOfSections;
        auto exports = AtRva<IMAGE_EXPORT_DIRECTORY>(dirs[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
        if (!m_sections || !exports)
            return false;
        pOut->exportName = Text(exports->Name);
        pOut->functionCount = exports->NumberOfFunctions;
        for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        {
            auto nameRva = AtRva<DWORD>(exports->AddressOfNames + 4 * i);
            auto ordinal = AtRva<WORD>(exports->AddressOfNameOrdinals + 2 * i);
            if (!nameRva || !ordinal)
                return false;
            pOut->names.emplace_back(Text(*nameRva), static_cast<WORD>(*ordinal + exports->Base));
        }
        DWORD rva = dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto desc = AtRva<IMAGE_IMPORT_DESCRIPTOR>(rva); desc && desc->Name;
             desc = AtRva<IMAGE_IMPORT_DESCRIPTOR>(rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)))
            pOut->imports.push_back(Text(desc->Name));
        return true;
    }

private:
    template <typename T>
    const T* At(size_t offset) const
    {
        return offset <= m_bytes.size() && sizeof(T) <= m_bytes.size() - offset
                   ? reinterpret_cast<const T*>(m_bytes.data() + offset)
                   : nullptr;
    }
    // The file offset of an address relative to the image's base.
    template <typename T>
    const T* AtRva(DWORD rva) const
    {
        for (WORD i = 0; i < m_nSections; ++i)
        {
            const IMAGE_SECTION_HEADER& section = m_sections[i];
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData)
                return At<T>(section.PointerToRawData + (rva - section.VirtualAddress));
        }
        return nullptr;
    }
    std::string Text(DWORD rva) const
    {
        auto first = AtRva<char>(rva);
        return first ? std::string(first, strnlen(first, m_bytes.data() + m_bytes.size() - first)) : std::string();
    }

    std::string m_bytes;
    mutable const IMAGE_SECTION_HEADER* m_sections = nullptr;
    mutable WORD m_nSections = 0;
};

ImageDirectories ReadDirectories(const std::string& path)
{
    ImageDirectories out;
    EXPECT_TRUE(ImageFile(path).Read(&out)) << "not a readable image: " << path;
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

// The two checks below and the resource checks read the module's file, so
// they also check a module of the other width (KESTRUM_MODULE_FILE).
TEST(ModuleFile, ExactlyTheFourEntryPointsByNameAndOrdinal)
{
    ImageDirectories image = ReadDirectories(ModuleFile());
    EXPECT_EQ("Kestrum.OCX", image.exportName);
    EXPECT_EQ(4u, image.functionCount);
    std::set<std::pair<std::string, WORD>> expected = {
        {"DllCanUnloadNow", 1}, {"DllGetClassObject", 2}, {"DllRegisterServer", 3}, {"DllUnregisterServer", 4}};
    EXPECT_EQ(expected, (std::set<std::pair<std::string, WORD>>(image.names.begin(), image.names.end())));
    if (!ChecksOwnModule())
        return;
    TempDir dir;
    LoadedModule module(dir.Path());
    for (const auto& entry : expected)
        EXPECT_EQ(module.Export(entry.first.c_str()), module.Export(entry.second)) << entry.first;
}

TEST(ModuleFile, ImportsOnlySystemLibraries)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const ImageDirectories image = ReadDirectories(ModuleFile());
    EXPECT_FALSE(image.imports.empty());
    for (std::string name : image.imports)
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
