// Seeded random texts: properties every text operation keeps for every
// input. The *Dbcs* tests run again under code pages 949 and 932.
#include "util/text/CharsetText.h"
#include "util/text/DurationText.h"
#include "util/text/LineText.h"
#include "util/text/NumberText.h"
#include "util/text/UrlScheme.h"
#include "tests/support/RandomText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

bool IsLead(unsigned char ch)
{
    return IsDBCSLeadByteEx(GetACP(), ch) != FALSE;
}

// Start offsets of the characters of text in the active code page; a lead
// byte at the very end is a character of its own.
std::vector<size_t> CharacterStarts(const std::string& text)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); i += IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1)
        starts.push_back(i);
    return starts;
}

// Offsets of the successive whole-character matches of sub in text, each
// search going on after the previous match.
std::vector<size_t> ReferenceMatches(const std::string& text, const std::string& sub)
{
    const std::vector<size_t> starts = CharacterStarts(text);
    std::vector<bool> boundary(text.size() + 1, false);
    for (size_t start : starts)
        boundary[start] = true;
    boundary[text.size()] = true;
    std::vector<size_t> matches;
    size_t from = 0;
    for (size_t start : starts)
    {
        if (start >= from && text.compare(start, sub.size(), sub) == 0 && boundary[start + sub.size()])
        {
            matches.push_back(start);
            from = start + sub.size();
        }
    }
    return matches;
}

// The decimal digits of a run, pinned at limit.
long long Saturated(const std::string& digits, long long limit)
{
    unsigned long long value = 0;
    for (char ch : digits)
    {
        value = value * 10 + static_cast<unsigned>(ch - '0');
        if (value > static_cast<unsigned long long>(limit))
            return limit;
    }
    return static_cast<long long>(value);
}

bool IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

std::vector<std::string> NumberPieces()
{
    auto pieces = TrickyPieces();
    for (const char* extra : {"b", "c", "d", "E", "f", "5", "7", "\n", "\r", "\v", "0x", "0X", "00", "999999"})
        pieces.push_back(extra);
    return pieces;
}

void CheckNumberText(unsigned seed, int rounds)
{
    std::mt19937 random(seed);
    const auto pieces = NumberPieces();
    for (int i = 0; i < rounds; ++i)
    {
        const std::string text = RandomText(random, pieces, 10);
        SCOPED_TRACE(testing::Message() << "round " << i << ": " << TraceBytes(text));
        const CString s(text.c_str());

        // Every character takes a 4-bit place: 0-9 and A-F (a-f once
        // upper-cased) count, the bytes of a double-byte character as they are.
        unsigned hex = 0;
        for (size_t start : CharacterStarts(text))
        {
            const bool dbcs = start + 1 < text.size() && IsLead(static_cast<unsigned char>(text[start]));
            for (size_t k = start; k < start + (dbcs ? 2 : 1); ++k)
            {
                char ch = text[k];
                if (!dbcs && ch >= 'a' && ch <= 'f')
                    ch = static_cast<char>(ch - 32);
                const unsigned digit = IsDigit(ch) ? ch - '0' : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10 : 0;
                hex = (hex << 4) + digit;
            }
        }
        ASSERT_EQ(static_cast<int>(hex), HexToInt(s));

        std::string allDigits;
        for (char ch : text)
            if (IsDigit(ch))
                allDigits += ch;
        ASSERT_EQ(Saturated(allDigits, LONG_MAX), DigitsToLong(s));

        const size_t first = text.find_first_of("0123456789");
        const std::string run =
            first == std::string::npos ? "" : text.substr(first, text.find_first_not_of("0123456789", first) - first);
        ASSERT_EQ(Saturated(run, LLONG_MAX), DigitsToInt64(s));

        // Colour text read back from its own output is the same colour.
        const COLORREF colour = TextToColor(s);
        ASSERT_EQ(0u, colour >> 24);
        const CString colourText = ColorToText(colour);
        ASSERT_EQ(colour, TextToColor(colourText));
        ASSERT_EQ(colourText, ColorToText(TextToColor(colourText)));

        int parts[4] = {0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A5A5A};
        ParseVersionText(s, parts[0], parts[1], parts[2], parts[3]);
        for (int part : parts)
            ASSERT_NE(0x5A5A5A5A, part) << "every part is written";
    }
}

void CheckWellFormedNumbers(unsigned seed, int rounds)
{
    std::mt19937 random(seed);
    const char hexDigits[] = "0123456789abcdefABCDEF";
    std::uniform_int_distribution<int> pickHex(0, 21);
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<unsigned> any;
    for (int i = 0; i < rounds; ++i)
    {
        std::string hex;
        for (int n = length(random); n > 0; --n)
            hex += hexDigits[pickHex(random)];
        SCOPED_TRACE(testing::Message() << "round " << i << ": " << hex);
        const std::string last8 = hex.size() > 8 ? hex.substr(hex.size() - 8) : hex;
        ASSERT_EQ(static_cast<int>(std::strtoul(last8.empty() ? "0" : last8.c_str(), nullptr, 16)),
                  HexToInt(hex.c_str()));

        const unsigned rgb = any(random) & 0xFFFFFF;
        char colour[16];
        std::snprintf(colour, sizeof(colour), rgb & 1 ? "#%02x%02X%02x" : "%02X%02x%02X", rgb & 0xFF,
                      (rgb >> 8) & 0xFF, rgb >> 16);
        ASSERT_EQ(static_cast<COLORREF>(rgb), TextToColor(colour)) << colour;

        int want[4];
        std::string version;
        for (int k = 0; k < 4; ++k)
        {
            want[k] = static_cast<int>(any(random) >> (any(random) % 32));
            if (want[k] < 0)
                want[k] = ~want[k];
            version += (k == 0 ? "" : (any(random) & 1) ? "." : ", ") + std::to_string(want[k]);
        }
        int got[4] = {};
        ParseVersionText(version.c_str(), got[0], got[1], got[2], got[3]);
        ASSERT_EQ(std::vector<int>(want, want + 4), std::vector<int>(got, got + 4)) << version;
    }
}

// A random 64-bit value spread over every magnitude.
long long RandomMagnitude(std::mt19937& random)
{
    std::uniform_int_distribution<int> bits(0, 63);
    std::uniform_int_distribution<unsigned long long> any;
    const int n = bits(random);
    unsigned long long value = any(random) >> (63 - n) >> 1;
    return static_cast<long long>(value);
}

} // namespace

TEST(NumberRandom, AgreesWithReference)
{
    CheckNumberText(31, 15000);
    CheckWellFormedNumbers(32, 5000);
}

TEST(NumberRandomDbcs, AgreesWithReference)
{
    CheckNumberText(949, 15000);
}

TEST(NumberRandom, FormatThousandsKeepsTheDigitsInGroups)
{
    std::mt19937 random(33);
    const auto pieces = TrickyPieces();
    std::uniform_int_distribution<int> group(-1, 22);
    for (int i = 0; i < 10000; ++i)
    {
        long long value = RandomMagnitude(random);
        if (random() & 1)
            value = -value - (random() & 1);   // reaches LLONG_MIN too
        const std::string separator = RandomText(random, pieces, 2);
        const int size = group(random);
        SCOPED_TRACE(testing::Message() << value << " by " << size << " with " << TraceBytes(separator));
        const std::string plain = std::to_string(value);
        const std::string text = FormatThousands(value, separator.c_str(), size).GetString();
        if (size < 1 || separator.empty())
        {
            ASSERT_EQ(plain, text);
            continue;
        }
        // The sign, a first group of 1 to size digits, then separator and
        // size digits, again and again.
        const size_t sign = value < 0 ? 1 : 0;
        const size_t digits = plain.size() - sign;
        ASSERT_EQ(plain.substr(0, sign), text.substr(0, sign));
        size_t at = sign;
        size_t taken = 0;
        size_t take = (digits - 1) % static_cast<size_t>(size) + 1;
        while (taken < digits)
        {
            if (taken > 0)
            {
                ASSERT_EQ(separator, text.substr(at, separator.size()));
                at += separator.size();
            }
            ASSERT_EQ(plain.substr(sign + taken, take), text.substr(at, take));
            at += take;
            taken += take;
            take = static_cast<size_t>(size);
        }
        ASSERT_EQ(text.size(), at);
    }
}

TEST(DurationRandom, FieldsAddUpToTheSeconds)
{
    std::mt19937 random(34);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> level(-1, 4);
    std::uniform_int_distribution<int> digits(-1, 4);
    for (int i = 0; i < 20000; ++i)
    {
        // Mostly short spans, where trimming happens, some of many days.
        double seconds = std::pow(10.0, unit(random) * (i % 3 == 0 ? 9 : 5)) - 1;
        if (i % 7 == 0)
            seconds = -seconds;
        if (i % 5 == 0)
            seconds = std::floor(seconds);
        const int nLevel = level(random);
        const int nDigits = digits(random);
        const std::string text = FormatDuration(seconds, nLevel, nDigits).GetString();
        SCOPED_TRACE(testing::Message() << seconds << " level " << nLevel << " digits " << nDigits << ": " << text);

        long long days = 0;
        int fields[3] = {0, 0, 0};   // hours, minutes, seconds, the shown ones last
        size_t at = 0;
        int shown = 0;
        const size_t blank = text.find(' ');
        if (blank != std::string::npos)
        {
            days = std::stoll(text.substr(0, blank));
            ASSERT_GE(blank, 2u);
            at = blank + 1;
            shown = 1;
        }
        const size_t point = text.find('.');
        const std::string clock = text.substr(at, point == std::string::npos ? std::string::npos : point - at);
        ASSERT_EQ(2u, clock.size() % 3) << "two-digit fields";
        const int clockFields = static_cast<int>(clock.size() / 3 + 1);
        ASSERT_LE(clockFields, 3);
        ASSERT_TRUE(shown == 0 || clockFields == 3);
        for (int k = 0; k < clockFields; ++k)
            fields[3 - clockFields + k] = std::stoi(clock.substr(static_cast<size_t>(k) * 3, 2));
        shown += clockFields;
        ASSERT_LT(fields[0], 24);
        ASSERT_LT(fields[1], 60);
        ASSERT_LT(fields[2], 60);

        // Fields show from the level or the largest nonzero one, whichever is higher.
        const int effective = nLevel < 0 || nLevel > 3 ? 0 : nLevel;
        const int needed = days > 0 ? 4 : fields[0] > 0 ? 3 : fields[1] > 0 ? 2 : 1;
        ASSERT_EQ(std::max(effective + 1, needed), shown);

        const double whole = static_cast<double>(days) * 86400 + fields[0] * 3600 + fields[1] * 60 + fields[2];
        const double value = seconds > 0 ? seconds : 0;
        if (nDigits < 1)
        {
            ASSERT_EQ(std::string::npos, point);
            ASSERT_EQ(std::floor(value), whole);
        }
        else
        {
            ASSERT_EQ(static_cast<size_t>(nDigits), text.size() - point - 1);
            const double shownValue = whole + std::stod("0" + text.substr(point));
            ASSERT_LE(std::fabs(shownValue - value), 0.5 * std::pow(10.0, -nDigits) + value * 1e-15);
        }
    }
}

TEST(DurationRandom, BitRateInTheLargestUnitReached)
{
    std::mt19937 random(35);
    for (int i = 0; i < 20000; ++i)
    {
        long long rate = RandomMagnitude(random);
        if (i % 9 == 0)
            rate = -rate;
        const std::string text = FormatBitRate(rate).GetString();
        SCOPED_TRACE(testing::Message() << rate << ": " << text);
        if (rate < 1024)
        {
            ASSERT_EQ(std::to_string(rate) + " bps", text);
            continue;
        }
        const size_t blank = text.find(' ');
        ASSERT_NE(std::string::npos, blank);
        const std::string unitText = text.substr(blank + 1);
        const double unit = unitText == "kbps" ? 1024.0 : unitText == "Mbps" ? 1048576.0 : unitText == "Gbps" ? 1073741824.0 : 0;
        ASSERT_NE(0, unit) << "unit " << unitText;
        ASSERT_GE(static_cast<double>(rate), unit);
        ASSERT_TRUE(unit == 1073741824.0 || static_cast<double>(rate) < unit * 1024);
        ASSERT_EQ(3u, blank - text.find('.')) << "two decimals";
        ASSERT_LE(std::fabs(std::stod(text.substr(0, blank)) * unit - static_cast<double>(rate)),
                  0.005 * unit * (1 + 1e-9) + static_cast<double>(rate) * 1e-15);
    }
}

namespace {

std::vector<std::string> LinePieces()
{
    auto pieces = TrickyPieces();
    for (const char* extra : {"\r", "\n", "\r\n", "\r\r", ",", ",,", "::"})
        pieces.push_back(extra);
    return pieces;
}

void CheckLinesAndSplitting(unsigned seed, int rounds)
{
    std::mt19937 random(seed);
    const auto pieces = LinePieces();
    for (int i = 0; i < rounds; ++i)
    {
        const std::string text = RandomText(random, pieces, 12);
        std::string delimiter;
        while (delimiter.empty())
            delimiter = RandomText(random, pieces, 2);
        SCOPED_TRACE(testing::Message() << "round " << i << ": " << TraceBytes(text) << " by " << TraceBytes(delimiter));

        // The line, its ending and the rest give back the text.
        int nLength = 12345;
        const std::string line = ReadLine(text.c_str(), nLength).GetString();
        const size_t end = text.find("\r\n");
        if (end == std::string::npos)
        {
            ASSERT_EQ(-1, nLength);
            ASSERT_EQ("", line);
        }
        else
        {
            ASSERT_EQ(static_cast<int>(line.size()), nLength);
            ASSERT_EQ(text, line + "\r\n" + text.substr(line.size() + 2));
            ASSERT_EQ(std::string::npos, line.find("\r\n"));
        }

        // k whole-character matches give k + 1 pieces, which joined by the
        // delimiter give back the text; what the list held stays first.
        CStringArray list;
        list.Add("first");
        SplitString(text.c_str(), delimiter.c_str(), list);
        ASSERT_EQ(CString("first"), list[0]);
        if (text.empty())
        {
            ASSERT_EQ(1, list.GetSize());
            continue;
        }
        const std::vector<size_t> matches = ReferenceMatches(text, delimiter);
        ASSERT_EQ(static_cast<int>(matches.size()) + 2, list.GetSize());
        std::string joined;
        for (int k = 1; k < list.GetSize(); ++k)
        {
            joined += (k > 1 ? delimiter : "") + std::string(list[k].GetString(), static_cast<size_t>(list[k].GetLength()));
            ASSERT_TRUE(ReferenceMatches(list[k].GetString(), delimiter).empty()) << "piece " << k;
        }
        ASSERT_EQ(TraceBytes(text), TraceBytes(joined));
    }
}

} // namespace

TEST(LineRandom, LinesAndPiecesGiveBackTheText)
{
    CheckLinesAndSplitting(36, 15000);
}

TEST(LineRandomDbcs, LinesAndPiecesGiveBackTheText)
{
    CheckLinesAndSplitting(37, 15000);
}

// ---------------------------------------------------------------------------
// Character sets

namespace {

std::string ToBytes(const std::wstring& wide, UINT nCodePage)
{
    if (wide.empty())
        return std::string();
    int n = WideCharToMultiByte(nCodePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(nCodePage, 0, wide.data(), static_cast<int>(wide.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

std::wstring ToWide(const std::string& bytes, UINT nCodePage)
{
    if (bytes.empty())
        return std::wstring();
    int n = MultiByteToWideChar(nCodePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(nCodePage, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], n);
    return wide;
}

// Characters that code page nCodePage holds and gives back unchanged, drawn
// from the scripts that matter here.
std::vector<std::wstring> HeldCharacters(UINT nCodePage)
{
    std::vector<std::wstring> held;
    auto tryAdd = [&](const std::wstring& ch) {
        BOOL usedDefault = FALSE;
        BOOL* pUsed = nCodePage == CP_UTF8 ? nullptr : &usedDefault;
        char bytes[8];
        int n = WideCharToMultiByte(nCodePage, WC_NO_BEST_FIT_CHARS, ch.data(), static_cast<int>(ch.size()), bytes,
                                    sizeof(bytes), nullptr, pUsed);
        if (n > 0 && !usedDefault && ToWide(std::string(bytes, static_cast<size_t>(n)), nCodePage) == ch)
            held.push_back(ch);
    };
    for (wchar_t ch = 0x20; ch < 0x7F; ++ch)
        tryAdd(std::wstring(1, ch));
    for (wchar_t ch : {0x09, 0x0D, 0x0A})
        tryAdd(std::wstring(1, ch));
    const std::pair<wchar_t, wchar_t> ranges[] = {{0xA0, 0x100}, {0x3041, 0x3094}, {0x30A1, 0x30F7},
                                                  {0xAC00, 0xAD00}, {0xD500, 0xD7A4}, {0x4E00, 0x4F00},
                                                  {0xFF01, 0xFF5F}, {0x391, 0x3CA}, {0x410, 0x450}};
    for (const auto& range : ranges)
        for (wchar_t ch = range.first; ch < range.second; ch = static_cast<wchar_t>(ch + 3))
            tryAdd(std::wstring(1, ch));
    tryAdd(L"\xD83D\xDE00");
    return held;
}

// UTF-8 into code page nCodePage and back, and the other conversions of the
// same text, against the platform's own whole-text conversions.
void CheckRoundTrips(UINT nCodePage, unsigned seed, int rounds, size_t maxCharacters)
{
    SCOPED_TRACE(testing::Message() << "code page " << nCodePage);
    const std::vector<std::wstring> held = HeldCharacters(nCodePage);
    ASSERT_GT(held.size(), 95u);
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> pick(0, held.size() - 1);
    std::uniform_int_distribution<size_t> count(0, maxCharacters);
    for (int i = 0; i < rounds; ++i)
    {
        std::wstring wide;
        for (size_t n = count(random); n > 0; --n)
            wide += held[pick(random)];
        const std::string utf8 = ToBytes(wide, CP_UTF8);
        const std::string bytes = ToBytes(wide, nCodePage);
        SCOPED_TRACE(testing::Message() << "round " << i << ": " << TraceBytes(utf8.substr(0, 60)));

        std::vector<char> dest(bytes.size() + 1, '\x5A');
        Utf8ToMultiByte(utf8.data(), static_cast<int>(utf8.size()), dest.data(), static_cast<int>(dest.size()),
                        nCodePage);
        ASSERT_EQ(TraceBytes(bytes), TraceBytes(std::string(dest.data())));
        std::vector<char> back(utf8.size() + 1, '\x5A');
        MultiByteToUtf8(dest.data(), static_cast<int>(bytes.size()), back.data(), static_cast<int>(back.size()),
                        nCodePage);
        ASSERT_EQ(TraceBytes(utf8), TraceBytes(std::string(back.data())));

        const CBstr bstr = Utf8ToBstr(utf8.data(), static_cast<int>(utf8.size()));
        ASSERT_TRUE(std::wstring(bstr.Get(), bstr.GetLength()) == wide);
        if (nCodePage == 949)
        {
            char* text949 = WideToCP949(wide.c_str());
            ASSERT_NE(nullptr, text949);
            ASSERT_EQ(TraceBytes(bytes), TraceBytes(text949));
            std::free(text949);
        }
        if (nCodePage == GetACP())
        {
            ASSERT_EQ(TraceBytes(bytes), TraceBytes(WideToString(wide.c_str()).GetString()));
        }
    }
}

// Any bytes at all, converted in steps, give what the platform gives for the
// whole text at once.
void CheckAnyBytes(UINT nSourcePage, UINT nTargetPage, unsigned seed, int rounds, size_t maxPieces)
{
    SCOPED_TRACE(testing::Message() << "code pages " << nSourcePage << " to " << nTargetPage);
    auto pieces = TrickyPieces();
    for (const char* extra : {"\x80", "\xC3", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE3\x81\x82", "\xFE", "\x81"})
        pieces.push_back(extra);
    std::mt19937 random(seed);
    for (int i = 0; i < rounds; ++i)
    {
        const std::string source = RandomText(random, pieces, maxPieces);
        SCOPED_TRACE(testing::Message() << "round " << i << ": " << TraceBytes(source.substr(0, 60)));
        const std::wstring wide = ToWide(source, nSourcePage);
        const std::string whole = ToBytes(wide, nTargetPage);
        std::vector<char> dest(whole.size() + 1, '\x5A');
        if (nSourcePage == CP_UTF8)
            Utf8ToMultiByte(source.data(), static_cast<int>(source.size()), dest.data(), static_cast<int>(dest.size()),
                            nTargetPage);
        else
            MultiByteToUtf8(source.data(), static_cast<int>(source.size()), dest.data(), static_cast<int>(dest.size()),
                            nSourcePage);
        ASSERT_EQ(TraceBytes(whole), TraceBytes(std::string(dest.data())));
        ASSERT_EQ(0, dest.back());
    }
}

} // namespace

TEST(CharsetRandomDbcs, RoundTripsOfTextTheCodePageHolds)
{
    CheckRoundTrips(949, 38, 4000, 12);
    CheckRoundTrips(GetACP(), 39, 4000, 12);
    // Long texts go through the working buffer in several steps.
    CheckRoundTrips(949, 40, 6, 30000);
    CheckRoundTrips(GetACP(), 41, 6, 30000);
}

TEST(CharsetRandomDbcs, AnyBytesConvertAsInOneStep)
{
    CheckAnyBytes(CP_UTF8, 949, 42, 3000, 12);
    CheckAnyBytes(949, CP_UTF8, 43, 3000, 12);
    CheckAnyBytes(932, CP_UTF8, 44, 3000, 12);
    CheckAnyBytes(GetACP(), CP_UTF8, 45, 3000, 12);
    CheckAnyBytes(CP_UTF8, 949, 46, 6, 20000);
    CheckAnyBytes(949, CP_UTF8, 47, 6, 20000);
    CheckAnyBytes(932, CP_UTF8, 48, 6, 20000);
}

// ---------------------------------------------------------------------------
// URL schemes

TEST(UrlSchemeRandom, WordFollowsTheScheme)
{
    const char* const schemes[] = {"http", "HTTP", "https", "ftp", "file", "mailto", "news", "gopher", "mms", "MmS",
                                   "mmst", "mmsu", "rtsp", "RTSP", "rtp", "rtspu", "foo", "", "mms:", "\xB0\x41"};
    // The words Wine's splitter answers instead for an empty scheme: ftp, or
    // file after "::".
    const char* const kWineForEmpty = " ftp file ";
    const char* const joins[] = {"://", ":", ":/", "//", ""};
    auto pieces = TrickyPieces();
    for (const char* extra : {"host", "a.b", "%20", "@", "rtsp://", "mms://", "[", "]", "~"})
        pieces.push_back(extra);
    std::mt19937 random(50);
    std::uniform_int_distribution<size_t> pickScheme(0, sizeof(schemes) / sizeof(schemes[0]) - 1);
    std::uniform_int_distribution<size_t> pickJoin(0, sizeof(joins) / sizeof(joins[0]) - 1);
    const bool underWine = RunsUnderWine();
    const int kRounds = 4000;
    int answered = 0;
    for (int i = 0; i < kRounds; ++i)
    {
        const std::string scheme = schemes[pickScheme(random)];
        const std::string join = joins[pickJoin(random)];
        const std::string url = scheme + join + RandomText(random, pieces, 8);
        SCOPED_TRACE(testing::Message() << "round " << i << ": " << TraceBytes(url));
        const std::string word = GetURLScheme(url.c_str()).GetString();
        if (word.empty())
            continue;   // the parser may refuse any text; the count below keeps that honest
        ++answered;
        std::string lower = url;
        for (char& ch : lower)
            if (ch >= 'A' && ch <= 'Z')
                ch = static_cast<char>(ch + 32);
        if (word == "mms" || word == "mmst" || word == "mmsu" || word == "rtsp" || word == "rtp")
        {
            ASSERT_EQ(0u, lower.find(word + "://"));
            continue;
        }
        ASSERT_NE(std::string::npos, lower.find(':'));
        const std::string named = lower.substr(0, lower.find(':'));
        const std::string expected = named == "news" ? "nntp"
                                     : named == "http" || named == "https" || named == "ftp" || named == "file" ||
                                               named == "mailto" || named == "gopher"
                                         ? named
                                         : "unk";
        if (underWine && scheme.empty() && word != expected)
        {
            ASSERT_NE(std::string::npos, std::string(kWineForEmpty).find(" " + word + " "));
            continue;
        }
        ASSERT_EQ(expected, word);
        if (word == "unk")
        {
            for (const char* prefix : {"mms://", "mmst://", "mmsu://", "rtsp://", "rtp://"})
                ASSERT_NE(0u, lower.find(prefix));
        }
    }
    // Refusing every text would pass the loop alone; most of these are sound URLs.
    EXPECT_GT(answered, kRounds / 2);
}
