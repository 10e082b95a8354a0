// The tests' entry point: GoogleTest's own, after what keeps an entry from
// passing with nothing run.
//
// - Under Wine the runner names a file in KESTRUM_MAIN_MARKER, created
//   here first: a program Wine fails to start never gets here
//   (cmake/wine-run).
// - Each pattern of --gtest_filter must name at least one test: a renamed
//   suite fails the entries that select it instead of leaving them empty.
// - An entry that reruns the double-byte tests under a code page names it
//   in KESTRUM_CODE_PAGE; when the host cannot give that code page, the
//   entry fails here instead of passing with every double-byte test
//   skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// GoogleTest's wildcards: "*" any text, "?" any one character.
bool MatchesPattern(const char* pszPattern, const char* pszName)
{
    if (*pszPattern == '\0')
        return *pszName == '\0';
    if (*pszPattern == '*')
        return MatchesPattern(pszPattern + 1, pszName) || (*pszName != '\0' && MatchesPattern(pszPattern, pszName + 1));
    return *pszName != '\0' && (*pszPattern == '?' || *pszPattern == *pszName) &&
           MatchesPattern(pszPattern + 1, pszName + 1);
}

bool SomeTestMatches(const std::string& strPattern)
{
    const testing::UnitTest& tests = *testing::UnitTest::GetInstance();
    for (int i = 0; i < tests.total_test_suite_count(); ++i)
    {
        const testing::TestSuite& suite = *tests.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j)
        {
            const std::string strName = std::string(suite.name()) + "." + suite.GetTestInfo(j)->name();
            if (MatchesPattern(strPattern.c_str(), strName.c_str()))
                return true;
        }
    }
    return false;
}

// The first pattern before the filter's "-" (its negative part) that names
// no test; "" when each names one.
std::string PatternSelectingNothing(const std::string& strFilter)
{
    const std::string strPositive = strFilter.substr(0, strFilter.find('-'));
    for (size_t nStart = 0; nStart <= strPositive.size();)
    {
        size_t nEnd = strPositive.find(':', nStart);
        if (nEnd == std::string::npos)
            nEnd = strPositive.size();
        const std::string strPattern = strPositive.substr(nStart, nEnd - nStart);
        if (!strPattern.empty() && !SomeTestMatches(strPattern))
            return strPattern;
        nStart = nEnd + 1;
    }
    return std::string();
}

} // namespace

int main(int argc, char** argv)
{
    if (const char* pszMarker = std::getenv("KESTRUM_MAIN_MARKER"))
    {
        if (FILE* pMarker = std::fopen(pszMarker, "w"))
            std::fclose(pMarker);
    }
    testing::InitGoogleTest(&argc, argv);
    const std::string strEmpty = PatternSelectingNothing(GTEST_FLAG_GET(filter));
    if (!strEmpty.empty())
    {
        std::fprintf(stderr, "FAILED: the filter pattern '%s' selects no test of this program\n", strEmpty.c_str());
        return 1;
    }
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
