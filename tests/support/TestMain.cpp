// The tests' entry point: GoogleTest's own, after one check. An entry that
// reruns the double-byte tests under a code page names it in
// KESTRUM_CODE_PAGE; when the host cannot give that code page, the entry
// fails here instead of passing with every double-byte test skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (const char* pszWanted = std::getenv("KESTRUM_CODE_PAGE"))
    {
        unsigned long nWanted = std::strtoul(pszWanted, nullptr, 10);
        if (GetACP() != nWanted)
        {
            std::fprintf(stderr,
                         "FAILED: this entry needs the active code page %lu, but it is %u: the host lacks the "
                         "locale that gives it (scripts/setup installs the locales package; configuring "
                         "compiles the locale into the build tree)\n",
                         nWanted, GetACP());
            return 1;
        }
    }
    return RUN_ALL_TESTS();
}
