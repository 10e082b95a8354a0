#include "tests/module/ModuleFixture.h"
#include "tests/support/TestSupport.h"

#include "KestrumVersion.h"

#include "framework/SystemLibrary.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace testing_support;

namespace {

const WORD kKorean = MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN);

class ResourcesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_path = ModuleFile();
        m_module = LoadLibraryExA(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_module);
    }
    void TearDown() override
    {
        if (m_module)
            FreeLibrary(m_module);
    }

    // The resource's bytes in exactly the given language, or empty.
    std::string Resource(LPCSTR type, LPCSTR name, WORD language)
    {
        HRSRC found = FindResourceExA(m_module, type, name, language);
        if (found == nullptr)
            return std::string();
        HGLOBAL loaded = LoadResource(m_module, found);
        auto data = static_cast<const char*>(LockResource(loaded));
        return std::string(data, SizeofResource(m_module, found));
    }

    std::string m_path;
    HMODULE m_module = nullptr;
};

} // namespace

TEST_F(ResourcesTest, StringOneInKorean)
{
    // String 1 lives in block 1 of the string table.
    EXPECT_FALSE(Resource(RT_STRING, MAKEINTRESOURCEA(1), kKorean).empty());
    char text[64] = {};
    EXPECT_EQ(15, LoadStringA(m_module, 1, text, sizeof(text)));
    EXPECT_STREQ("Kestrum Control", text);
}

TEST_F(ResourcesTest, ToolboxBitmap)
{
    std::string bits = Resource(RT_BITMAP, MAKEINTRESOURCEA(1), kKorean);
    ASSERT_GE(bits.size(), sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD));
    auto info = reinterpret_cast<const BITMAPINFOHEADER*>(bits.data());
    EXPECT_EQ(16, info->biWidth);
    EXPECT_EQ(15, info->biHeight);
    EXPECT_EQ(4, info->biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), info->biCompression);
    auto palette = reinterpret_cast<const RGBQUAD*>(bits.data() + info->biSize);
    EXPECT_EQ(128, palette[5].rgbRed);
    EXPECT_EQ(0, palette[5].rgbGreen);
    EXPECT_EQ(128, palette[5].rgbBlue);
    EXPECT_EQ(192, palette[8].rgbRed);
    EXPECT_EQ(192, palette[8].rgbGreen);
    EXPECT_EQ(192, palette[8].rgbBlue);

    // Every pixel is ink (5) or background (8), and both occur.
    auto pixels = reinterpret_cast<const unsigned char*>(bits.data() + info->biSize + 16 * sizeof(RGBQUAD));
    const int stride = 8;
    ASSERT_GE(bits.size(), info->biSize + 16 * sizeof(RGBQUAD) + stride * 15);
    std::set<int> used;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 16; ++x)
        {
            unsigned char pair = pixels[y * stride + x / 2];
            used.insert(x % 2 ? pair & 0x0F : pair >> 4);
        }
    EXPECT_EQ((std::set<int>{5, 8}), used);
}

TEST_F(ResourcesTest, VersionBlock)
{
    EXPECT_FALSE(Resource(RT_VERSION, MAKEINTRESOURCEA(1), kKorean).empty());
    // From the system folder, as the library takes them: no test program
    // imports version.dll either.
    const auto GetFileVersionInfoSizeA = g_versionLibrary.GetProc<decltype(&::GetFileVersionInfoSizeA)>(
        "GetFileVersionInfoSizeA");
    const auto GetFileVersionInfoA = g_versionLibrary.GetProc<decltype(&::GetFileVersionInfoA)>("GetFileVersionInfoA");
    const auto VerQueryValueA = g_versionLibrary.GetProc<decltype(&::VerQueryValueA)>("VerQueryValueA");
    ASSERT_TRUE(GetFileVersionInfoSizeA && GetFileVersionInfoA && VerQueryValueA);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(m_path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(m_path.c_str(), 0, size, &block[0]));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    // The project's version (project() in CMakeLists.txt).
    const DWORD dwMS = KESTRUM_VERSION_MAJOR << 16 | KESTRUM_VERSION_MINOR;
    const DWORD dwLS = KESTRUM_VERSION_PATCH << 16 | KESTRUM_VERSION_TWEAK;
    EXPECT_EQ(dwMS, fixed->dwFileVersionMS);
    EXPECT_EQ(dwLS, fixed->dwFileVersionLS);
    EXPECT_EQ(dwMS, fixed->dwProductVersionMS);
    EXPECT_EQ(dwLS, fixed->dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(4u, fixed->dwFileOS);
    EXPECT_EQ(2u, fixed->dwFileType);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(0x0412, translation[0]);
    EXPECT_EQ(949, translation[1]);

    struct Row
    {
        const char* name;
        const char* value;   // null: any non-empty text
    } rows[] = {
        {"FileDescription", "Kestrum ActiveX Control Module"},
        {"FileVersion", KESTRUM_VERSION_TEXT},
        {"InternalName", "Kestrum.ocx"},
        {"OriginalFilename", "Kestrum.ocx"},
        {"ProductName", "Kestrum ActiveX Control Module"},
        {"ProductVersion", KESTRUM_VERSION_TEXT},
        {"CompanyName", nullptr},
        {"LegalCopyright", nullptr},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        char* text = nullptr;
        std::string query = std::string("\\StringFileInfo\\041203b5\\") + row.name;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
        if (row.value)
            EXPECT_STREQ(row.value, text);
        else
            EXPECT_GT(strlen(text), 0u);
    }
}

TEST_F(ResourcesTest, ManifestAsksForInvokerLevel)
{
    std::string manifest = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(2), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
    EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\""));
    EXPECT_TRUE(Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(2), kKorean).empty()) << "manifest is US English only";
}
