#include "util/sysinfo/DirectXFiles.h"

#include "util/sysinfo/FileVersion.h"
#include "util/sysinfo/internal/DirectXSources.h"

#include "tests/support/TestSupport.h"
#include "tests/util/sysinfo/FakeSystemFolder.h"
#include "tests/util/sysinfo/VersionImage.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using testing_support::FakeSystemFolder;
using testing_support::FolderSources;
using testing_support::V;

namespace {

struct Triple
{
    int major;
    int minor;
    char letter;
};

bool operator==(const Triple& a, const Triple& b)
{
    return a.major == b.major && a.minor == b.minor && a.letter == b.letter;
}

std::ostream& operator<<(std::ostream& os, const Triple& t)
{
    return os << t.major << "." << t.minor << " '" << t.letter << "'";
}

Triple Detect(const sysinfo_internal::CDirectXSources& sources)
{
    Triple t{0x5A5A5A5A, 0x5A5A5A5A, 'X'};
    EXPECT_EQ(S_OK, sysinfo_internal::DetectDirectXByFiles(sources, &t.major, &t.minor, &t.letter));
    return t;
}

} // namespace

struct DetectionCase
{
    const char* what;
    std::vector<std::pair<const char*, ULONGLONG>> files;
    Triple expected;
};

TEST(DetectDirectXByFiles, WalksTheTable)
{
    SKIP_WITHOUT_FIXTURE_FOLDER();
    const DetectionCase cases[] = {
        {"nothing", {}, {0, 0, ' '}},
        {"ddraw 4.2.0.94", {{"ddraw.dll", V(4, 2, 0, 94)}}, {0, 0, ' '}},
        {"ddraw 4.2.0.95", {{"ddraw.dll", V(4, 2, 0, 95)}}, {1, 0, ' '}},
        {"ddraw 4.3.0.1096", {{"ddraw.dll", V(4, 3, 0, 1096)}}, {2, 0, ' '}},
        {"ddraw 4.4.0.68", {{"ddraw.dll", V(4, 4, 0, 68)}}, {3, 0, ' '}},
        {"ddraw 4.4.0.68 + d3drg8x", {{"ddraw.dll", V(4, 4, 0, 68)}, {"d3drg8x.dll", V(4, 4, 0, 70)}}, {3, 0, 'a'}},
        {"ddraw 4.5.0.155", {{"ddraw.dll", V(4, 5, 0, 155)}}, {5, 0, ' '}},
        {"ddraw 4.6.0.318", {{"ddraw.dll", V(4, 6, 0, 318)}}, {6, 0, ' '}},
        {"ddraw 4.6.0.436", {{"ddraw.dll", V(4, 6, 0, 436)}}, {6, 1, ' '}},
        {"ddraw 4.6.0.436 + dplayx", {{"ddraw.dll", V(4, 6, 0, 436)}, {"dplayx.dll", V(4, 6, 3, 518)}}, {6, 1, 'a'}},
        {"dplayx 4.6.3.517", {{"ddraw.dll", V(4, 6, 0, 436)}, {"dplayx.dll", V(4, 6, 3, 517)}}, {6, 1, ' '}},
        {"ddraw 4.7.0.700 + dinput 4.6", {{"ddraw.dll", V(4, 7, 0, 700)}, {"dinput.dll", V(4, 6, 0, 0)}}, {7, 0, ' '}},
        {"ddraw 4.7.0.700 + dinput 4.7.0.716",
         {{"ddraw.dll", V(4, 7, 0, 700)}, {"dinput.dll", V(4, 7, 0, 716)}},
         {7, 0, 'a'}},
        {"ddraw 4.8.0.400", {{"ddraw.dll", V(4, 8, 0, 400)}}, {8, 0, ' '}},
        {"ddraw 5.1.2258.400", {{"ddraw.dll", V(5, 1, 2258, 400)}}, {8, 0, ' '}},
        {"ddraw 5.1.2258.399", {{"ddraw.dll", V(5, 1, 2258, 399)}}, {7, 0, ' '}},
        {"ddraw 6.0.6000.0", {{"ddraw.dll", V(6, 0, 6000, 0)}}, {7, 0, ' '}},
        {"d3d8 4.8.1.881", {{"d3d8.dll", V(4, 8, 1, 881)}}, {8, 1, ' '}},
        {"d3d8 5.1.2600.901", {{"d3d8.dll", V(5, 1, 2600, 901)}}, {8, 1, 'a'}},
        {"d3d8 6.0.0.0", {{"d3d8.dll", V(6, 0, 0, 0)}}, {0, 0, ' '}},
        {"d3d8 + mpg2splt",
         {{"d3d8.dll", V(5, 1, 2600, 901)}, {"mpg2splt.ax", V(6, 3, 1, 885)}},
         {8, 1, 'b'}},
        {"d3d8 + mpg2splt + dpnet",
         {{"d3d8.dll", V(5, 1, 2600, 901)}, {"mpg2splt.ax", V(6, 3, 1, 885)}, {"dpnet.dll", V(5, 2, 3677, 134)}},
         {8, 2, ' '}},
        {"dpnet 4.9.0.134", {{"dpnet.dll", V(4, 9, 0, 134)}}, {8, 2, ' '}},
        {"dpnet 5.2.3677.133", {{"dpnet.dll", V(5, 2, 3677, 133)}}, {0, 0, ' '}},
        // The last row that holds decides, even against later releases.
        {"d3d9 0.0.0.0 after everything",
         {{"ddraw.dll", V(6, 0, 6000, 0)}, {"dpnet.dll", V(5, 2, 3677, 134)}, {"d3d9.dll", V(0, 0, 0, 0)}},
         {9, 0, ' '}},
        {"old ddraw after a newer dplayx", {{"ddraw.dll", V(4, 2, 0, 95)}, {"dplayx.dll", V(4, 6, 3, 518)}}, {6, 1, 'a'}},
    };
    for (const DetectionCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        FakeSystemFolder folder;
        for (const auto& file : c.files)
            folder.Add(file.first, file.second);
        EXPECT_EQ(c.expected, Detect(FolderSources(&folder.Folder())));
    }
}

TEST(DetectDirectXByFiles, FilesWithoutVersionDropTheirRows)
{
    SKIP_WITHOUT_FIXTURE_FOLDER();
    FakeSystemFolder folder;
    folder.Add("ddraw.dll", V(4, 6, 0, 436));
    folder.AddWithoutVersion("d3d9.dll");
    folder.AddWithoutVersion("dplayx.dll");
    EXPECT_EQ((Triple{6, 1, ' '}), Detect(FolderSources(&folder.Folder())));
}

TEST(DetectDirectXByFiles, NullOutPointersStillSucceed)
{
    SKIP_WITHOUT_FIXTURE_FOLDER();
    FakeSystemFolder folder;
    folder.Add("ddraw.dll", V(4, 6, 0, 436));
    folder.Add("d3d9.dll", V(9, 0, 0, 0));
    const sysinfo_internal::CDirectXSources sources = FolderSources(&folder.Folder());
    EXPECT_EQ(S_OK, sysinfo_internal::DetectDirectXByFiles(sources, nullptr, nullptr, nullptr));
    int minor = -1;
    EXPECT_EQ(S_OK, sysinfo_internal::DetectDirectXByFiles(sources, nullptr, &minor, nullptr));
    EXPECT_EQ(0, minor);
    char letter = 'X';
    EXPECT_EQ(S_OK, sysinfo_internal::DetectDirectXByFiles(sources, nullptr, nullptr, &letter));
    EXPECT_EQ(' ', letter);
}

TEST(DetectDirectXByFiles, NoSystemFolderGivesNoRelease)
{
    SKIP_WITHOUT_FIXTURE_FOLDER();
    EXPECT_EQ((Triple{0, 0, ' '}), Detect(FolderSources(nullptr)));
    // A folder too long for the 260-byte buffer is not used.
    FakeSystemFolder folder;
    folder.Add("d3d9.dll", V(9, 0, 0, 0));
    const std::string padded = folder.Folder() + std::string(300, '\\');
    EXPECT_EQ((Triple{0, 0, ' '}), Detect(FolderSources(&padded)));
    EXPECT_EQ((Triple{9, 0, ' '}), Detect(FolderSources(&folder.Folder())));
}

TEST(DetectDirectXByFiles, RealSystemFolder)
{
    Triple t{-1, -1, 'X'};
    ASSERT_EQ(S_OK, DetectDirectXByFiles(&t.major, &t.minor, &t.letter));
    // Every platform since DirectX 9 carries a d3d9.dll with a version, and
    // a readable d3d9.dll always decides.
    char folder[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(folder, MAX_PATH));
    ULONGLONG d3d9 = 0;
    ASSERT_EQ(S_OK, QueryFileVersion((std::string(folder) + "\\d3d9.dll").c_str(), &d3d9));
    EXPECT_EQ((Triple{9, 0, ' '}), t);
    EXPECT_EQ(S_OK, DetectDirectXByFiles(nullptr, nullptr, nullptr));
}

TEST(DetectDirectXByFiles, ThreadsAgreeWithOneThread)
{
    SKIP_WITHOUT_FIXTURE_FOLDER();
    FakeSystemFolder folder;
    folder.Add("ddraw.dll", V(4, 7, 0, 700));
    folder.Add("dinput.dll", V(4, 7, 0, 716));
    const std::string dinput = folder.Folder() + "\\dinput.dll";
    const sysinfo_internal::CDirectXSources sources = FolderSources(&folder.Folder());
    const Triple alone = Detect(sources);
    ASSERT_EQ((Triple{7, 0, 'a'}), alone);
    Triple real{};
    DetectDirectXByFiles(&real.major, &real.minor, &real.letter);

    const int kThreads = 4;
    const int kRounds = 10;
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
    {
        threads.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round)
            {
                Triple t{};
                sysinfo_internal::DetectDirectXByFiles(sources, &t.major, &t.minor, &t.letter);
                Triple r{};
                DetectDirectXByFiles(&r.major, &r.minor, &r.letter);
                ULONGLONG v = 0;
                if (!(t == alone) || !(r == real) || QueryFileVersion(dinput.c_str(), &v) != S_OK ||
                    v != V(4, 7, 0, 716))
                    ++mismatches[i];
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    for (int i = 0; i < kThreads; ++i)
        EXPECT_EQ(0, mismatches[i]) << "thread " << i;
}
