// Text operations on inputs and outputs that end at an inaccessible page,
// repeated calls of the ones that take platform resources, and the same
// inputs from four threads at once.
#include "util/text/CharsetText.h"
#include "util/text/DurationText.h"
#include "util/text/LineText.h"
#include "util/text/NumberText.h"
#include "util/text/UrlScheme.h"
#include "tests/support/GuardedMemory.h"
#include "tests/support/LeakCheck.h"
#include "tests/support/RandomText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <limits>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

const char kPoison = '\x5A';

// Texts that end where a careless reader looks one byte further: on a sign,
// a "#", a "0x", a separator, a "\r", or a lone lead byte of code page 949
// or 932.
const std::vector<std::string> kEdgeTexts = {
    "", "#", "-", "+", "0x", "0X", " ", "\t", "12", "-12", "99999999999999999999999", "#FF", "#FFFFFF",
    "#12345678", "FFFFFFFF", "1.2.3.4", "1,2,3,", "1.", "..", "1.2.3.", "\xB0", "\xC7", "\x95", "a\x83", "#\x81",
    "1.\x88", "\xB0\x41", "\x95\x5C", "12\r", "\r", "\r\n", "abc\r\n", "\xE9", "?", ":", "\\", ",",
};

// Lengths of the characters of text in code page nCodePage, in order.
std::vector<size_t> CharacterLengths(const std::string& text, UINT nCodePage)
{
    std::vector<size_t> lengths;
    for (size_t i = 0; i < text.size();)
    {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        size_t n = 1;
        if (nCodePage == CP_UTF8)
            n = ch < 0xC0 ? 1 : ch < 0xE0 ? 2 : ch < 0xF0 ? 3 : 4;
        else if (IsDBCSLeadByteEx(nCodePage, ch))
            n = 2;
        n = std::min(n, text.size() - i);
        lengths.push_back(n);
        i += n;
    }
    return lengths;
}

// The longest run of whole characters from the start of text that fits in
// nRoom bytes.
std::string WholePrefix(const std::string& text, UINT nCodePage, size_t nRoom)
{
    size_t n = 0;
    for (size_t length : CharacterLengths(text, nCodePage))
    {
        if (n + length > nRoom)
            break;
        n += length;
    }
    return text.substr(0, n);
}

using FixedConversion = void (*)(const char*, int, char*, int, UINT);

struct SweepCase
{
    const char* name;
    FixedConversion convert;
    std::string source;
    UINT nCodePage;     // the conversion's code-page argument
    UINT nTargetPage;   // the code page of what it writes
};

// Converts into a destination that ends at the guard page, for every size
// from 0 to the needed size + 1: the destination must hold the longest
// whole-character prefix of the full result and zeros after it.
void SweepDestinationSizes(const SweepCase& row)
{
    SCOPED_TRACE(row.name);
    // The source ends at the guard too, with no terminator: only the count
    // bounds what the conversion may read.
    GuardedBuffer source(row.source.data(), row.source.size());
    const int nCount = static_cast<int>(row.source.size());
    std::vector<char> big(row.source.size() * 4 + 16, kPoison);
    row.convert(source.Data(), nCount, big.data(), static_cast<int>(big.size()), row.nCodePage);
    const std::string full(big.data());
    ASSERT_FALSE(full.empty());

    for (size_t size = 0; size <= full.size() + 2; ++size)
    {
        SCOPED_TRACE("destination size " + std::to_string(size));
        GuardedBuffer dest(size);
        std::memset(dest.Data(), kPoison, size);
        row.convert(source.Data(), nCount, dest.Data(), static_cast<int>(size), row.nCodePage);
        if (size == 0)
            continue;   // any write would have faulted on the guard page
        const std::string got(dest.Data(), size);
        const std::string expected = WholePrefix(full, row.nTargetPage, size - 1);
        ASSERT_EQ(TraceBytes(expected + std::string(size - expected.size(), '\0')), TraceBytes(got));
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Inputs and outputs at the guard page

TEST(TextGuardDbcs, GuardedStringEndsAtInaccessiblePageAndIsReadOnly)
{
    const GuardedString guarded("abc");
    EXPECT_STREQ("abc", guarded.Get());
    MEMORY_BASIC_INFORMATION info;
    ASSERT_EQ(sizeof(info), VirtualQuery(guarded.Get().GetString() + 4, &info, sizeof(info)));
    EXPECT_EQ(static_cast<DWORD>(PAGE_NOACCESS), info.Protect);
    ASSERT_EQ(sizeof(info), VirtualQuery(guarded.Get().GetString(), &info, sizeof(info)));
    EXPECT_EQ(static_cast<DWORD>(PAGE_READONLY), info.Protect);
    // Changing a copy leaves the guarded characters alone.
    CString copy = guarded.Get();
    copy.MakeUpper();
    EXPECT_STREQ("ABC", copy);
    EXPECT_STREQ("abc", guarded.Get());
}

TEST(TextGuardDbcs, NumberAndColourInputsEndAtTheGuard)
{
    for (const std::string& text : kEdgeTexts)
    {
        SCOPED_TRACE(TraceBytes(text));
        const GuardedString guarded(text);
        const CString plain(text.c_str());
        EXPECT_EQ(HexToInt(plain), HexToInt(guarded));
        EXPECT_EQ(DigitsToLong(plain), DigitsToLong(guarded));
        EXPECT_EQ(DigitsToInt64(plain), DigitsToInt64(guarded));
        EXPECT_EQ(TextToColor(plain), TextToColor(guarded));
        int expected[4] = {-7, -7, -7, -7};
        int got[4] = {-7, -7, -7, -7};
        ParseVersionText(plain, expected[0], expected[1], expected[2], expected[3]);
        ParseVersionText(guarded, got[0], got[1], got[2], got[3]);
        EXPECT_EQ(std::vector<int>(expected, expected + 4), std::vector<int>(got, got + 4));
        EXPECT_EQ(FormatThousands(LLONG_MIN, plain, 3), FormatThousands(LLONG_MIN, guarded, 3));
        // The argument is read-only; no operation may have changed it.
        EXPECT_EQ(plain, guarded.Get());
    }
}

TEST(TextGuardDbcs, DurationAndBitRateTextsHaveTheirForm)
{
    // The fraction is checked apart: it may be longer than a regular
    // expression matcher cares to recurse.
    const std::regex duration(R"(^(\d{2,} )?(\d\d:)?(\d\d:)?\d\d$)");
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0, -0.0, -1, 0.5, 59.9999, 86399.9999, 5662310400.0, 9.3e18, 1e300,
                             std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
                             inf, -inf, std::numeric_limits<double>::quiet_NaN()};
    const int levels[] = {INT_MIN, -1, 0, 1, 2, 3, 4, INT_MAX};
    const int digits[] = {INT_MIN, -1, 0, 1, 3, 17, 1200};
    for (double value : values)
        for (int level : levels)
            for (int digit : digits)
            {
                SCOPED_TRACE(testing::Message() << value << " level " << level << " digits " << digit);
                const CString text = FormatDuration(value, level, digit);
                ASSERT_EQ(std::strlen(text), static_cast<size_t>(text.GetLength()));
                const std::string whole(text.GetString(), std::strcspn(text, "."));
                ASSERT_TRUE(std::regex_match(whole, duration)) << text.GetString();
                const std::string fraction = text.GetString() + whole.size();
                ASSERT_EQ(digit > 0 ? static_cast<size_t>(digit) + 1 : 0, fraction.size());
                if (!fraction.empty())
                {
                    ASSERT_EQ(std::string::npos, fraction.find_first_not_of("0123456789", 1)) << fraction;
                }
            }

    const std::regex rate(R"(^(-?\d+ bps|\d+\.\d\d [kMG]bps)$)");
    const LONGLONG rates[] = {LLONG_MIN, -1, 0, 1023, 1024, 1048575, 1048576, 1073741823, 1073741824,
                              LLONG_MAX};
    for (LONGLONG value : rates)
    {
        const CString text = FormatBitRate(value);
        ASSERT_EQ(std::strlen(text), static_cast<size_t>(text.GetLength()));
        EXPECT_TRUE(std::regex_match(text.GetString(), rate)) << text.GetString();
    }
}

TEST(TextGuardDbcs, ReadLineStopsAtTheTerminator)
{
    const std::vector<std::string> texts = {"", "abc", "abc\r", "\r", "\n", "\r\n", "a\r\nb", "\xB0\r", "\xB0\r\n",
                                            "a\r\r", "a\n\r", std::string(5000, 'x') + "\r"};
    for (const std::string& text : texts)
    {
        SCOPED_TRACE(TraceBytes(text));
        const GuardedText guarded(text);
        int nLength = 12345;
        const CString line = ReadLine(guarded.c_str(), nLength);
        const size_t end = text.find("\r\n");
        EXPECT_EQ(end == std::string::npos ? -1 : static_cast<int>(end), nLength);
        EXPECT_EQ(TraceBytes(end == std::string::npos ? "" : text.substr(0, end)), TraceBytes(line.GetString()));
    }
}

TEST(TextGuardDbcs, SplitStringTextAndDelimiterEndAtTheGuard)
{
    const std::vector<std::string> delimiters = {",", "::", "\xB0", "\x41", "\\", "\r\n", "\x95\x5C"};
    for (const std::string& text : kEdgeTexts)
        for (const std::string& delimiter : delimiters)
        {
            SCOPED_TRACE(TraceBytes(text) + " by " + TraceBytes(delimiter));
            const GuardedString guardedText(text);
            const GuardedString guardedDelimiter(delimiter);
            CStringArray pieces;
            pieces.Add("kept");
            SplitString(guardedText, guardedDelimiter, pieces);
            ASSERT_EQ(CString("kept"), pieces[0]);
            CString joined;
            for (int i = 1; i < pieces.GetSize(); ++i)
                joined += (i > 1 ? CString(delimiter.c_str()) : CString()) + pieces[i];
            EXPECT_EQ(TraceBytes(text), TraceBytes(joined.GetString()));
        }
}

TEST(TextGuardDbcs, Utf8ToMultiByteEveryDestinationSize)
{
    const SweepCase rows[] = {
        {"Hangul to 949", Utf8ToMultiByte, "a\xED\x95\x9C\xEA\xB5\xAD" "b\xEC\x96\xB4", 949, 949},
        {"kana to 932", Utf8ToMultiByte, "\xE3\x81\x82x\xE3\x82\xAB\xE3\x83\x8A", 932, 932},
        {"accents to 1252", Utf8ToMultiByte, "\xC3\xA9t\xC3\xA9", 1252, 1252},
        {"pairs to UTF-8", Utf8ToMultiByte, "x\xF0\x9F\x98\x80y\xF0\x9F\x98\x81", CP_UTF8, CP_UTF8},
        {"ill-formed to 949", Utf8ToMultiByte, "\xFF" "a\xC3\xED\x95\x9C\x80", 949, 949},
        {"source cut inside a character", Utf8ToMultiByte, "ab\xED\x95", 949, 949},
        {"Hangul missing from 1252", Utf8ToMultiByte, "\xED\x95\x9C\xED\x95\x9C", 1252, 1252},
        {"embedded zero", Utf8ToMultiByte, std::string("ab\0cd", 5), 1252, 1252},
        {"active code page", Utf8ToMultiByte, "a\xED\x95\x9C\xE3\x81\x82\xC3\xA9", CP_ACP, GetACP()},
    };
    for (const SweepCase& row : rows)
        SweepDestinationSizes(row);
}

TEST(TextGuardDbcs, MultiByteToUtf8EveryDestinationSize)
{
    const SweepCase rows[] = {
        {"949", MultiByteToUtf8, "a\xC7\xD1\xB1\xB9" "b\xB0\x41", 949, CP_UTF8},
        {"949 ending in a lead byte", MultiByteToUtf8, "a\xC7\xD1\xC7", 949, CP_UTF8},
        {"932 with trail backslashes", MultiByteToUtf8, "\x95\x5C\x83\x5C" "a\x81\x40", 932, CP_UTF8},
        {"1252", MultiByteToUtf8, "\xE9t\xE9\x80", 1252, CP_UTF8},
        {"UTF-8 pairs", MultiByteToUtf8, "x\xF0\x9F\x98\x80y", CP_UTF8, CP_UTF8},
        {"active code page", MultiByteToUtf8, "ab\xB0\x41\x95\x5C\xE9", CP_ACP, CP_UTF8},
    };
    for (const SweepCase& row : rows)
        SweepDestinationSizes(row);
}

TEST(TextGuardDbcs, AllocatingConversionsReadToTheTerminatorOnly)
{
    const std::vector<std::string> sources = {"", "a", "\xED\x95\x9C", "a\xC3", "\xF0\x9F\x98\x80", "\xB0",
                                              std::string(3000, 'z')};
    for (const std::string& source : sources)
    {
        SCOPED_TRACE(TraceBytes(source));
        GuardedBuffer guarded(source.data(), source.size());
        const CBstr bstr = Utf8ToBstr(guarded.Data(), static_cast<int>(source.size()));
        ASSERT_FALSE(bstr.IsNull());
        std::wstring expected(source.size() + 1, L'\0');
        int n = MultiByteToWideChar(CP_UTF8, 0, source.data(), static_cast<int>(source.size()), &expected[0],
                                    static_cast<int>(expected.size()));
        expected.resize(static_cast<size_t>(n > 0 ? n : 0));
        EXPECT_TRUE(std::wstring(bstr.Get(), bstr.GetLength()) == expected);
        EXPECT_EQ(0, bstr.Get()[bstr.GetLength()]);

        const GuardedText text(source);
        WCHAR* wide = MultiByteToWideAlloc(text.c_str());
        ASSERT_NE(nullptr, wide);
        const size_t units = _msize(wide) / sizeof(WCHAR);
        EXPECT_LT(wcsnlen(wide, units), units) << "the terminator lies inside the buffer";
        std::free(wide);

        const GuardedWide guardedWide(expected);
        char* text949 = WideToCP949(guardedWide.c_str());
        ASSERT_NE(nullptr, text949);
        EXPECT_LT(strnlen(text949, _msize(text949)), _msize(text949));
        std::free(text949);
        const CString narrow = WideToString(guardedWide.c_str());
        EXPECT_EQ(std::strlen(narrow), static_cast<size_t>(narrow.GetLength()));
    }
}

TEST(TextGuardDbcs, UrlSchemeInputEndsAtTheGuard)
{
    // scheme: nullptr where any answer will do; wine: Wine's answer where it
    // differs.
    const struct
    {
        std::string url;
        const char* scheme;
        const char* wine;
    } rows[] = {
        {"", "", nullptr},
        {"h", "", nullptr},
        {":", nullptr, "ftp"},   // an empty scheme
        {"http://", nullptr, nullptr},
        {"http://h", "http", nullptr},
        {"MMS://h/a", "mms", nullptr},
        {"mmst://h/a", "mmst", nullptr},
        {"rtsp://h", "rtsp", nullptr},
        {"rtp://", nullptr, nullptr},
        {"news:a.b", "nntp", nullptr},
        {"https://h/" + std::string(2000, 'p'), "https", nullptr},
        {"mms://h/" + std::string(2000, 'p'), "mms", nullptr},
        // Past the parser's 2084-character part buffers the platform may
        // refuse to split the URL; only the guard matters here.
        {"https://h/" + std::string(6000, 'p'), nullptr, nullptr},
        {"http://" + std::string(3000, 'h') + "/", nullptr, nullptr},
        {"mms://h/" + std::string(6000, 'p'), nullptr, nullptr},
        {"\xB0\x41://h", nullptr, nullptr},
        {"mms://\xB0", nullptr, nullptr},
    };
    const bool underWine = RunsUnderWine();
    for (const auto& row : rows)
    {
        SCOPED_TRACE(TraceBytes(row.url.substr(0, 40)));
        const GuardedString guarded(row.url);
        const CString scheme = GetURLScheme(guarded);
        EXPECT_EQ(GetURLScheme(CString(row.url.c_str())), scheme);
        const char* expected = underWine && row.wine != nullptr ? row.wine : row.scheme;
        if (expected != nullptr)
        {
            EXPECT_EQ(CString(expected), scheme);
        }
    }
}

// ---------------------------------------------------------------------------
// Repeated calls

TEST(TextLeaks, Utf8ToBstrAndItsHolder)
{
    const std::string source = "a\xED\x95\x9C\xF0\x9F\x98\x80" + std::string(300, 'b');
    ExpectNoLeaks(
        [&] {
            CBstr bstr = Utf8ToBstr(source.data(), static_cast<int>(source.size()));
            CBstr copy(bstr);
            CBstr assigned;
            assigned = copy;
            CBstr moved(static_cast<CBstr&&>(assigned));
            copy = static_cast<CBstr&&>(moved);
            SysFreeString(copy.Detach());
            CBstr empty = Utf8ToBstr(nullptr, 0);
        },
        5000);
}

TEST(TextLeaks, UrlScheme)
{
    const CString urls[] = {"http://host/a?b", "mms://host/x", "bogus", "news:a.b", "ftp://u:p@h:21/f"};
    ExpectNoLeaks(
        [&] {
            for (const CString& url : urls)
                GetURLScheme(url);
        },
        1000);
}

// ---------------------------------------------------------------------------
// Four threads at once

namespace {

// Every text operation that keeps no shared state, applied to one input.
std::string Digest(const std::string& text)
{
    const CString s(text.c_str());
    std::string out;
    auto put = [&out](const CString& piece) {
        out += piece.GetString();
        out += '|';
    };
    auto num = [&out](long long value) { out += std::to_string(value) + '|'; };

    num(HexToInt(s));
    num(DigitsToLong(s));
    num(DigitsToInt64(s));
    num(static_cast<long long>(TextToColor(s)));
    put(ColorToText(TextToColor(s)));
    int parts[4] = {};
    ParseVersionText(s, parts[0], parts[1], parts[2], parts[3]);
    for (int part : parts)
        num(part);
    put(FormatThousands(DigitsToInt64(s) - 5000, s.Left(2), 3));
    put(FormatDuration(DigitsToLong(s) / 7.0, static_cast<int>(text.size() % 5), static_cast<int>(text.size() % 4)));
    put(FormatBitRate(DigitsToInt64(s) * 977));
    int nLength = 0;
    put(ReadLine(text.c_str(), nLength));
    num(nLength);
    CStringArray pieces;
    SplitString(s, ",", pieces);
    for (int i = 0; i < pieces.GetSize(); ++i)
        put(pieces[i]);

    char buffer[256];
    Utf8ToMultiByte(text.data(), static_cast<int>(text.size()), buffer, sizeof(buffer), 949);
    out += buffer;
    MultiByteToUtf8(text.data(), static_cast<int>(text.size()), buffer, sizeof(buffer), 949);
    out += buffer;
    const CBstr bstr = Utf8ToBstr(text.data(), static_cast<int>(text.size()));
    put(WideToString(bstr.Get()));
    if (char* text949 = WideToCP949(bstr.Get()))
    {
        out += text949;
        std::free(text949);
    }
    put(GetURLScheme((text.size() % 2 != 0 ? "mms://" : "http://h/") + s));
    return out;
}

} // namespace

TEST(TextThreadsDbcs, FourThreadsAgreeWithOne)
{
    std::mt19937 random(4444);
    auto pieces = TrickyPieces();
    for (const char* extra : {"\r\n", "\xED\x95\x9C", "#", "\xC3"})
        pieces.push_back(extra);
    std::vector<std::string> inputs;
    for (int i = 0; i < 400; ++i)
        inputs.push_back(RandomText(random, pieces, 12));

    std::vector<std::string> expected;
    for (const std::string& input : inputs)
        expected.push_back(Digest(input));

    std::vector<std::vector<std::string>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&inputs, &result] {
            for (const std::string& input : inputs)
                result.push_back(Digest(input));
        });
    for (std::thread& thread : threads)
        thread.join();
    for (size_t t = 0; t < results.size(); ++t)
        for (size_t i = 0; i < inputs.size(); ++i)
            ASSERT_EQ(expected[i], results[t][i]) << "thread " << t << ", input " << TraceBytes(inputs[i]);
}
