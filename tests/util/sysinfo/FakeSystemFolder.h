// A folder of generated DLL images standing in for the system folder of the
// DirectX detection, and the sources that point the detection at it.
#pragma once

#include "tests/support/TestSupport.h"
#include "util/sysinfo/internal/DirectXSources.h"

#include <windows.h>

#include <memory>
#include <string>

namespace testing_support {

// Wine answers version queries for files named like its own DLLs (ddraw.dll,
// d3d9.dll, ...) from its built-in copies unless told otherwise for their
// exact path. The test's environment names such a folder in
// KESTRUM_DX_FIXTURE_DIR, with path overrides for it; elsewhere a temporary
// folder does. Null when the environment names none.
const char* FixtureFolderFromEnvironment();

// Empty at the start, removed at the end. One at a time.
class FakeSystemFolder
{
public:
    FakeSystemFolder();
    ~FakeSystemFolder();
    FakeSystemFolder(const FakeSystemFolder&) = delete;
    FakeSystemFolder& operator=(const FakeSystemFolder&) = delete;

    // Without the trailing separator, as GetSystemDirectoryA gives it.
    const std::string& Folder() const { return m_folder; }
    // A DLL image carrying the file version.
    void Add(const std::string& name, ULONGLONG qwVersion);
    // A DLL image without any resource.
    void AddWithoutVersion(const std::string& name);

private:
    std::unique_ptr<TempDir> m_temp;
    std::string m_folder;
};

// Copies *folder out as GetSystemDirectoryA would (the length needed when
// it does not fit); 0 for a null folder.
UINT CopyFolder(const std::string* folder, LPSTR pszBuffer, UINT uSize);

// Sources whose system folder is *folder (none when null) and which have no
// provider.
sysinfo_internal::CDirectXSources FolderSources(const std::string* folder);

} // namespace testing_support

// Under Wine the file-table tests need the fixture folder's overrides.
#define SKIP_WITHOUT_FIXTURE_FOLDER()                                                         \
    do                                                                                        \
    {                                                                                         \
        if (testing_support::RunsUnderWine() &&                                               \
            testing_support::FixtureFolderFromEnvironment() == nullptr)                       \
            GTEST_SKIP() << "under Wine, needs KESTRUM_DX_FIXTURE_DIR and its DLL overrides"; \
    } while (0)
