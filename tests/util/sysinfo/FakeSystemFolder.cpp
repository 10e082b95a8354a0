#include "tests/util/sysinfo/FakeSystemFolder.h"

#include "tests/util/sysinfo/VersionImage.h"

#include <cstring>

namespace testing_support {

const char* FixtureFolderFromEnvironment()
{
    static char folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("KESTRUM_DX_FIXTURE_DIR", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? folder : nullptr;
}

FakeSystemFolder::FakeSystemFolder()
{
    if (const char* fixed = FixtureFolderFromEnvironment())
    {
        m_folder = fixed;
        RemoveTree(m_folder);
        CreateDirectoryA(m_folder.c_str(), nullptr);
    }
    else
    {
        m_temp.reset(new TempDir);
        m_folder = m_temp->Path().substr(0, m_temp->Path().size() - 1);
    }
}

FakeSystemFolder::~FakeSystemFolder()
{
    if (!m_temp)
        RemoveTree(m_folder);
}

void FakeSystemFolder::Add(const std::string& name, ULONGLONG qwVersion)
{
    WriteFileBytes(m_folder + "\\" + name, VersionImage(qwVersion));
}

void FakeSystemFolder::AddWithoutVersion(const std::string& name)
{
    WriteFileBytes(m_folder + "\\" + name, ImageWithoutResources());
}

UINT CopyFolder(const std::string* folder, LPSTR pszBuffer, UINT uSize)
{
    if (folder == nullptr)
        return 0;
    if (folder->size() + 1 > uSize)
        return static_cast<UINT>(folder->size() + 1);
    std::memcpy(pszBuffer, folder->c_str(), folder->size() + 1);
    return static_cast<UINT>(folder->size());
}

namespace {

UINT FolderFromContext(void* pContext, LPSTR pszBuffer, UINT uSize)
{
    return CopyFolder(static_cast<const std::string*>(pContext), pszBuffer, uSize);
}

} // namespace

sysinfo_internal::CDirectXSources FolderSources(const std::string* folder)
{
    return sysinfo_internal::CDirectXSources{&FolderFromContext, nullptr, const_cast<std::string*>(folder)};
}

} // namespace testing_support
