#include "tests/module/ModuleFixture.h"

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

DWORD WINAPI EmptyThread(LPVOID)
{
    return 0;
}

using ClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using NoArgFn = HRESULT(STDAPICALLTYPE*)();

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
        EXPECT_EQ(std::string::npos, name.find("libstdc++"));
        EXPECT_EQ(std::string::npos, name.find("libgcc"));
        EXPECT_EQ(std::string::npos, name.find("libwinpthread"));
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((std::string(system) + "\\" + name).c_str()));
    }
}

TEST(Exports, ClassObjectIsNeverAvailable)
{
    TempDir dir;
    LoadedModule module(dir.Path());
    auto getClassObject = module.ExportAs<ClassObjectFn>(WORD(2));
    ASSERT_NE(nullptr, getClassObject);
    const CLSID ids[] = {CLSID_NULL, {0xA65B8071, 0x3BFE, 0x4213, {0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7}}};
    for (const CLSID& id : ids)
    {
        void* out = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(id, IID_IClassFactory, &out));
        EXPECT_EQ(nullptr, out);
    }
}

TEST(Exports, CanUnloadAndUnregisterAnswerOk)
{
    TempDir dir;
    LoadedModule module(dir.Path());
    auto canUnload = module.ExportAs<NoArgFn>(WORD(1));
    auto unregister = module.ExportAs<NoArgFn>(WORD(4));
    ASSERT_NE(nullptr, canUnload);
    ASSERT_NE(nullptr, unregister);
    EXPECT_EQ(S_OK, canUnload());
    EXPECT_EQ(S_OK, unregister());
    EXPECT_EQ(S_OK, canUnload());
}

TEST(Exports, RegisterByOrdinalWithoutRegDatIsOk)
{
    TempDir dir;
    LoadedModule module(dir.Path());
    auto registerServer = module.ExportAs<NoArgFn>(WORD(3));
    ASSERT_NE(nullptr, registerServer);
    EXPECT_EQ(S_OK, registerServer());
}

TEST(Exports, ModuleLoadsAndUnloadsRepeatedlyAcrossThreads)
{
    TempDir dir;
    for (int i = 0; i < 3; ++i)
    {
        LoadedModule module(dir.Path());
        ASSERT_NE(nullptr, module.Handle());
        // A thread that starts and ends while the module is loaded passes
        // through its thread attach and detach.
        HANDLE thread = CreateThread(nullptr, 0, EmptyThread, nullptr, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        auto canUnload = module.ExportAs<NoArgFn>("DllCanUnloadNow");
        EXPECT_EQ(S_OK, canUnload());
    }
}
