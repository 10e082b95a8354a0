// Kestrum benchmark: each case runs several times after a warm-up and is
// set against a reference measured in the same run, since on a shared,
// noisy machine the ratios are what count.
//
//   kestrum_bench [--runs N]
#include "framework/Handle.h"
#include "framework/StringArray.h"
#include "framework/SystemLibrary.h"
#include "util/path/FileSystem.h"
#include "util/path/MappedFile.h"
#include "util/path/PathUtil.h"
#include "util/text/CharsetText.h"
#include "util/text/DurationText.h"
#include "util/text/LineText.h"
#include "util/text/NumberText.h"
#include "util/text/UrlScheme.h"

#include <windows.h>
#include <shlwapi.h>
#include <wininet.h>

#include <emmintrin.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace {

int g_runs = 7;

double Now()
{
    static LARGE_INTEGER s_frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(s_frequency.QuadPart);
}

// Medians of several timings taken in alternation (one run of each per
// round), so that a burst of load from other work on the machine falls on
// a case and its reference alike.
std::vector<double> Medians(const std::vector<std::function<void()>>& fns, int rounds = g_runs)
{
    for (const auto& fn : fns)
        fn();
    std::vector<std::vector<double>> times(fns.size());
    for (int i = 0; i < rounds; ++i)
        for (size_t k = 0; k < fns.size(); ++k)
        {
            double start = Now();
            fns[k]();
            times[k].push_back(Now() - start);
        }
    std::vector<double> result;
    for (auto& t : times)
    {
        std::sort(t.begin(), t.end());
        result.push_back(t[t.size() / 2]);
    }
    return result;
}

volatile unsigned g_sink;   // keeps results alive

void PrintHeader()
{
    std::printf("%-34s %10s %12s %10s %7s  %s\n", "case", "median", "throughput", "reference", "ratio", "target");
}

void PrintRow(const char* name, double seconds, double bytes, double reference, double target)
{
    char throughput[32] = "";
    if (bytes > 0)
        std::snprintf(throughput, sizeof(throughput), "%.0f MiB/s", bytes / seconds / 1048576.0);
    double ratio = seconds / reference;
    char goal[32] = "-";
    if (target > 0)
        std::snprintf(goal, sizeof(goal), "<= %.2f %s", target, ratio <= target ? "met" : "MISSED");
    std::printf("%-34s %8.4f s %12s %8.4f s %7.2f  %s\n", name, seconds, throughput, reference, ratio, goal);
}

// --- scratch files --------------------------------------------------------

std::string TempFolder()
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string folder = std::string(base) + "kestrum-bench";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

void WritePatternFile(const std::string& path, size_t size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == size &&
        data.nFileSizeHigh == 0)
        return;
    CFileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<unsigned char> chunk(1 << 20);
    for (size_t done = 0; done < size; done += chunk.size())
    {
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<unsigned char>((done + i) % 251);
        DWORD written = 0;
        WriteFile(file.Get(), chunk.data(), static_cast<DWORD>(std::min(chunk.size(), size - done)), &written,
                  nullptr);
    }
}

// A fresh read-only view of a whole file, for the reference loops.
struct View
{
    CFileHandle file;
    CHandle mapping;
    CMappedView view;
    const unsigned char* data = nullptr;
    size_t size = 0;

    explicit View(const std::string& path)
        : file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        LARGE_INTEGER length;
        GetFileSizeEx(file.Get(), &length);
        size = static_cast<size_t>(length.QuadPart);
        mapping.Attach(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        view.Attach(static_cast<const BYTE*>(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0)));
        data = view.Get();
    }
};

unsigned char TouchPages(const unsigned char* data, size_t size)
{
    unsigned char x = 0;
    for (size_t i = 0; i < size; i += 4096)
        x ^= static_cast<const volatile unsigned char*>(data)[i];
    return x;
}

// 16-byte loads into four independent XOR chains.
unsigned char FoldResident(const unsigned char* data, size_t size)
{
    __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
    size_t i = 0;
    for (; i + 64 <= size; i += 64)
    {
        a = _mm_xor_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)));
        b = _mm_xor_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16)));
        c = _mm_xor_si128(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 32)));
        d = _mm_xor_si128(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 48)));
    }
    alignas(16) unsigned char lanes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_xor_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d)));
    unsigned char x = 0;
    for (unsigned char lane : lanes)
        x ^= lane;
    for (; i < size; ++i)
        x ^= data[i];
    return x;
}

unsigned char FoldBytes(const unsigned char* data, size_t size)
{
    const volatile unsigned char* p = data;
    unsigned char x = 0;
    for (size_t i = 0; i < size; ++i)
        x ^= p[i];
    return x;
}

// --- cases ----------------------------------------------------------------

void BenchChecksum(const std::string& folder)
{
    const size_t size = 256u << 20;
    const std::string path = folder + "checksum.bin";
    WritePatternFile(path, size);
    g_sink = GetFileChecksum(path.c_str());   // into the page cache

    View residentView(path);
    TouchPages(residentView.data, residentView.size);
    std::vector<double> m = Medians({
        [&] { g_sink = GetFileChecksum(path.c_str()); },
        [&] {
            View view(path);
            g_sink = TouchPages(view.data, view.size);
        },
        [&] { g_sink = FoldResident(residentView.data, residentView.size); },
        [&] {
            View view(path);
            g_sink = FoldBytes(view.data, view.size);
        },
    });
    double checksum = m[0], faults = m[1], resident = m[2], bytes = m[3];
    PrintRow("checksum 256 MiB vs fault+read", checksum, size, faults + resident, 1.2);
    std::printf("%-34s %8.4f s + %.4f s resident read\n", "  floor: page faults", faults, resident);
    PrintRow("  byte-at-a-time XOR vs checksum", bytes, size, checksum, 0);
}

std::string SplitText(size_t size)
{
    std::string text;
    text.reserve(size + 32);
    unsigned n = 0;
    while (text.size() < size)
    {
        char piece[32];
        int length = std::snprintf(piece, sizeof(piece), "item%u,", n++ * 2654435761u % 1000000000u);
        text.append(piece, static_cast<size_t>(length));
    }
    return text;
}

void BenchSplit()
{
    std::string text = SplitText(16u << 20);
    std::string big = SplitText(64u << 20);
    CString cstr(text.c_str(), static_cast<int>(text.size()));
    CString cbig(big.c_str(), static_cast<int>(big.size()));
    auto split = [](const CString& s) {
        CStringArray list;
        SplitString(s, ",", list);
        g_sink = static_cast<unsigned>(list.GetSize());
    };
    std::vector<double> m = Medians({
        [&] { split(cstr); },
        [&] {
            std::vector<std::string> pieces;
            std::string_view rest(text);
            for (;;)
            {
                size_t at = rest.find(',');
                if (at == std::string_view::npos)
                {
                    pieces.emplace_back(rest);
                    break;
                }
                pieces.emplace_back(rest.substr(0, at));
                rest.remove_prefix(at + 1);
            }
            g_sink = static_cast<unsigned>(pieces.size());
        },
        [&] { split(cbig); },
    });
    PrintRow("SplitString 16 MiB vs std::vector", m[0], static_cast<double>(text.size()), m[1], 2.0);
    PrintRow("SplitString 64 MiB vs 16 MiB", m[2], static_cast<double>(big.size()), m[0], 4.5);
}

// Operations that rewrite a whole text: four times the text must take about
// four times as long (a copy per match would make it sixteen).
void BenchLinear()
{
    struct Case
    {
        const char* name;
        std::function<void(CString&)> fn;
    } cases[] = {
        {"ReplaceChar 64 MiB vs 16 MiB", [](CString& s) { s = ReplaceChar(s, ',', ';'); }},
        {"MakeValidFileName 64 vs 16 MiB", [](CString& s) { MakeValidFileName(s, '_'); }},
    };
    const size_t sizes[2] = {16u << 20, 64u << 20};
    CString originals[2];
    for (int k = 0; k < 2; ++k)
    {
        std::string text = SplitText(sizes[k]);
        for (size_t i = 7; i < text.size(); i += 13)
            text[i] = (i % 2) ? ':' : '?';   // characters a file name may not hold
        originals[k] = CString(text.c_str(), static_cast<int>(text.size()));
    }
    for (const Case& c : cases)
    {
        auto run = [&](int k) {
            CString s = originals[k];
            c.fn(s);
        };
        std::vector<double> m = Medians({[&] { run(0); }, [&] { run(1); }});
        PrintRow(c.name, m[1], static_cast<double>(sizes[1]), m[0], 4.5);
    }
}

// 8 MiB of mixed text as UTF-8: ASCII, Latin-1 letters (code page 1252
// holds them) or Hangul (code page 949 holds it).
std::string MixedUtf8(bool hangul)
{
    const std::vector<std::string> pieces =
        hangul ? std::vector<std::string>{"plain words, ", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 ", "12345 "}
               : std::vector<std::string>{"plain words, ", "caf\xC3\xA9 ", "na\xC3\xAFve ", "12345 "};
    std::string text;
    for (size_t n = 0; text.size() < (8u << 20); ++n)
        text += pieces[n % pieces.size()];
    return text;
}

void BenchCharsets()
{
    struct Case
    {
        const char* name;
        UINT codePage;
        bool hangul;
    } cases[] = {{"Utf8ToMultiByte 8 MiB to 1252", 1252, false}, {"Utf8ToMultiByte 8 MiB to 949", 949, true}};
    for (const Case& c : cases)
    {
        std::string utf8 = MixedUtf8(c.hangul);
        int count = static_cast<int>(utf8.size());
        std::vector<char> dest(utf8.size() + 1);
        std::vector<WCHAR> wide(utf8.size() + 1);
        std::vector<double> m = Medians({
            [&] { Utf8ToMultiByte(utf8.data(), count, dest.data(), static_cast<int>(dest.size()), c.codePage); },
            [&] {
                int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), count, wide.data(), static_cast<int>(wide.size()));
                WideCharToMultiByte(c.codePage, 0, wide.data(), n, dest.data(), static_cast<int>(dest.size()), nullptr,
                                    nullptr);
            },
        });
        PrintRow(c.name, m[0], utf8.size(), m[1], 1.3);
    }

    std::string utf8 = MixedUtf8(true);
    std::vector<char> cp949(utf8.size() + 1);
    Utf8ToMultiByte(utf8.data(), static_cast<int>(utf8.size()), cp949.data(), static_cast<int>(cp949.size()), 949);
    int count = static_cast<int>(strlen(cp949.data()));
    std::vector<char> dest(utf8.size() + 16);
    std::vector<WCHAR> wide(static_cast<size_t>(count) + 1);
    std::vector<double> m = Medians({
        [&] { MultiByteToUtf8(cp949.data(), count, dest.data(), static_cast<int>(dest.size()), 949); },
        [&] {
            int n = MultiByteToWideChar(949, 0, cp949.data(), count, wide.data(), static_cast<int>(wide.size()));
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, dest.data(), static_cast<int>(dest.size()), nullptr,
                                nullptr);
        },
    });
    PrintRow("MultiByteToUtf8 949 to UTF-8", m[0], count, m[1], 1.3);
}

void BenchFileList(const std::string& base)
{
    const std::string folder = base + "list";
    CreateDirectoryA(folder.c_str(), nullptr);
    char name[MAX_PATH];
    std::snprintf(name, sizeof(name), "%s\\f19999.dat", folder.c_str());
    if (GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES)
    {
        for (int i = 0; i < 20000; ++i)
        {
            std::snprintf(name, sizeof(name), "%s\\f%05d.dat", folder.c_str(), i);
            CFileHandle created(
                CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    }
    std::vector<double> m = Medians({
        [&] {
            CStringArray list;
            GetFileList(folder.c_str(), list, "*.*");
            g_sink = static_cast<unsigned>(list.GetSize());
        },
        [&] {
            WIN32_FIND_DATAA data;
            unsigned n = 0;
            CFindHandle find(FindFirstFileA((folder + "\\*.*").c_str(), &data));
            if (find)
            {
                do
                    n += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
                while (FindNextFileA(find.Get(), &data));
            }
            g_sink = n;
        },
    });
    PrintRow("GetFileList 20,000 files vs bare", m[0], 0, m[1], 1.3);
}

// --- per-call text operations -------------------------------------------
//
// Each operation is timed over a loop of calls in alternation with a
// reference that gets the same arguments the same way (a CString by value)
// and does the least the result needs: a text built with integer arithmetic
// in a stack buffer and then one CString, a value computed by a plain loop,
// or the bare platform calls. The loops are short and the rounds five times
// as many as for the cases above, so that a time slice lost to another
// program spoils few of them. A case whose result differs from its
// reference's is reported and fails the run.

int g_status = 0;

// Hides a value from the optimiser, so that no loop can be folded away.
template <class T>
T Opaque(T value)
{
    volatile T copy = value;
    return copy;
}

void Keep(const CString& str)
{
    g_sink = static_cast<unsigned>(str.GetLength());
}

template <class T>
void Keep(T value)
{
    g_sink = static_cast<unsigned>(value);
}

struct CVersionQuad
{
    int n[4];
    bool operator==(const CVersionQuad& other) const { return std::memcmp(n, other.n, sizeof(n)) == 0; }
    operator unsigned() const { return static_cast<unsigned>(n[0] + n[1] + n[2] + n[3]); }
};

// A time per call in the width of the other rows' seconds: ns, or us from 10 us.
std::string CallTime(double seconds)
{
    char text[32];
    if (seconds < 1e-5)
        std::snprintf(text, sizeof(text), "%7.1f ns", seconds * 1e9);
    else
        std::snprintf(text, sizeof(text), "%7.1f us", seconds * 1e6);
    return text;
}

void PrintCallRow(const char* name, double seconds, double reference, double target)
{
    double ratio = seconds / reference;
    std::printf("%-34s %s %12s %s %7.2f  <= %.2f %s\n", name, CallTime(seconds).c_str(), "",
                CallTime(reference).c_str(), ratio, target, ratio <= target ? "met" : "MISSED");
}

template <class Fn, class Ref>
void PerCall(const char* name, int calls, double target, Fn fn, Ref ref)
{
    if (!(fn() == ref()))
    {
        std::printf("%-34s differs from its reference\n", name);
        g_status = 1;
        return;
    }
    std::vector<double> m = Medians(
        {
            [&] {
                for (int i = 0; i < calls; ++i)
                    Keep(fn());
            },
            [&] {
                for (int i = 0; i < calls; ++i)
                    Keep(ref());
            },
        },
        5 * g_runs);
    PrintCallRow(name, m[0] / calls, m[1] / calls, target);
}

// Reference texts: digits written backwards from pEnd, returning the start;
// 32-bit steps once the value fits (64-bit division is a library call on
// 32-bit x86).
char* RefDigits(char* pEnd, ULONGLONG value)
{
    for (; value > 0xFFFFFFFF; value /= 10)
        *--pEnd = static_cast<char>('0' + value % 10);
    unsigned uValue = static_cast<unsigned>(value);
    do
    {
        *--pEnd = static_cast<char>('0' + uValue % 10);
        uValue /= 10;
    } while (uValue != 0);
    return pEnd;
}

char* RefTwoDigits(char* p, int value)
{
    p[0] = static_cast<char>('0' + value / 10);
    p[1] = static_cast<char>('0' + value % 10);
    return p + 2;
}

char* RefCopy(char* p, const char* psz)
{
    while (*psz != '\0')
        *p++ = *psz++;
    return p;
}

// Seconds from 0 up to 2^31; fraction digits 0 to 9, rounded half up.
CString RefFormatDuration(double dSeconds, int nLevel, int nDigits)
{
    int nWhole = static_cast<int>(dSeconds);
    unsigned scale = 1;
    for (int i = 0; i < nDigits; ++i)
        scale *= 10;
    unsigned fraction = static_cast<unsigned>(static_cast<int>((dSeconds - nWhole) * static_cast<int>(scale) + 0.5));
    unsigned whole = static_cast<unsigned>(nWhole);
    if (nDigits > 0 && fraction >= scale)
    {
        fraction -= scale;
        ++whole;
    }
    unsigned days = whole / 86400;
    int rest = static_cast<int>(whole % 86400);
    int fields[3] = {rest / 3600, rest % 3600 / 60, rest % 60};
    char buffer[64];
    char* p = buffer;
    bool bShow = nLevel >= 3 || days != 0;
    if (bShow)
    {
        char digits[24];
        char* pStart = RefDigits(digits + sizeof(digits), days);
        if (days < 10)
            *p++ = '0';
        while (pStart < digits + sizeof(digits))
            *p++ = *pStart++;
        *p++ = ' ';
    }
    for (int k = 0; k < 3; ++k)
    {
        bShow = bShow || nLevel >= 2 - k || fields[k] != 0;
        if (!bShow)
            continue;
        p = RefTwoDigits(p, fields[k]);
        *p++ = k < 2 ? ':' : '.';
    }
    if (nDigits == 0)
        --p;   // no fraction: no "."
    for (int i = nDigits; i > 0; --i, fraction /= 10)
        p[i - 1] = static_cast<char>('0' + fraction % 10);
    p += nDigits;
    return CString(buffer, static_cast<int>(p - buffer));
}

// Rates from 1024 up to 2^20, rounded half up.
CString RefFormatBitRate(LONGLONG llRate)
{
    ULONGLONG cents = (static_cast<ULONGLONG>(llRate) * 100 + 512) / 1024;
    char buffer[32];
    char* pEnd = buffer + 24;
    char* pStart = RefDigits(pEnd - 3, cents / 100);
    pEnd[-3] = '.';
    RefTwoDigits(pEnd - 2, static_cast<int>(cents % 100));
    pEnd = RefCopy(pEnd, " kbps");
    return CString(pStart, static_cast<int>(pEnd - pStart));
}

// Values of 0 or more.
CString RefFormatThousands(LONGLONG llValue, CString strSeparator, int nGroupSize)
{
    char buffer[128];
    char* pEnd = buffer + sizeof(buffer);
    char* p = pEnd;
    ULONGLONG value = static_cast<ULONGLONG>(llValue);
    for (int n = 0;; ++n)
    {
        if (n > 0 && n % nGroupSize == 0)
        {
            p -= strSeparator.GetLength();
            std::memcpy(p, strSeparator.GetString(), static_cast<size_t>(strSeparator.GetLength()));
        }
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
        if (value == 0)
            break;
    }
    return CString(p, static_cast<int>(pEnd - p));
}

CString RefColorToText(COLORREF crColor)
{
    const char hex[] = "0123456789ABCDEF";
    char buffer[7] = {'#'};
    for (int i = 0; i < 3; ++i)
    {
        unsigned byte = (crColor >> (8 * i)) & 0xFF;
        buffer[1 + 2 * i] = hex[byte >> 4];
        buffer[2 + 2 * i] = hex[byte & 15];
    }
    return CString(buffer, 7);
}

bool RefIsSeparator(char ch)
{
    return ch == '\\' || ch == '/';
}

// Index of the last separator at or before nEnd - 1, or -1.
int RefLastSeparator(const char* p, int nEnd)
{
    int i = nEnd - 1;
    while (i >= 0 && !RefIsSeparator(p[i]))
        --i;
    return i;
}

// Paths without "?" or double-byte characters.
CString RefFileName(CString strPath)
{
    const char* p = Opaque(strPath.GetString());
    int nLength = strPath.GetLength();
    int nStart = RefLastSeparator(p, nLength) + 1;
    return CString(p + nStart, nLength - nStart);
}

// The file name's part before (bTitle) or after its last ".".
CString RefFileNamePart(CString strPath, bool bTitle)
{
    const char* p = Opaque(strPath.GetString());
    int nLength = strPath.GetLength();
    int nStart = RefLastSeparator(p, nLength) + 1;
    int nDot = nLength - 1;
    while (nDot >= nStart && p[nDot] != '.')
        --nDot;
    if (bTitle)
        return CString(p + nStart, (nDot < nStart ? nLength : nDot) - nStart);
    return nDot < nStart ? CString() : CString(p + nDot + 1, nLength - nDot - 1);
}

CString RefFileDir(CString strPath)
{
    const char* p = Opaque(strPath.GetString());
    return CString(p, RefLastSeparator(p, strPath.GetLength()) + 1);
}

// Paths that end in a separator and have a folder above it.
CString RefParentDir(CString strPath)
{
    const char* p = Opaque(strPath.GetString());
    int nLength = RefLastSeparator(p, RefLastSeparator(p, strPath.GetLength())) + 1;
    char buffer[MAX_PATH];
    for (int i = 0; i < nLength; ++i)
        buffer[i] = p[i] == '/' ? '\\' : p[i];
    return CString(buffer, nLength);
}

CString RefDrive(CString strPath)
{
    const char* p = Opaque(strPath.GetString());
    const char* pColon = static_cast<const char*>(std::memchr(p, ':', static_cast<size_t>(strPath.GetLength())));
    return pColon == nullptr ? CString() : CString(p, static_cast<int>(pColon - p) + 2);
}

char RefFoldPathChar(char ch)
{
    if (ch == '/')
        return '\\';
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch;
}

bool RefIsSamePath(CString strFirst, CString strSecond)
{
    const char* a = Opaque(strFirst.GetString());
    const char* b = Opaque(strSecond.GetString());
    int nFirst = strFirst.GetLength();
    int nSecond = strSecond.GetLength();
    if (nFirst == 0 || nSecond == 0)
        return false;
    nFirst -= RefIsSeparator(a[nFirst - 1]) ? 1 : 0;
    nSecond -= RefIsSeparator(b[nSecond - 1]) ? 1 : 0;
    if (nFirst != nSecond)
        return false;
    for (int i = 0; i < nFirst; ++i)
        if (RefFoldPathChar(a[i]) != RefFoldPathChar(b[i]))
            return false;
    return true;
}

int RefHexDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return 0;
}

int RefHexToInt(CString strText)
{
    const char* p = Opaque(strText.GetString());
    unsigned value = 0;
    for (int i = 0; i < strText.GetLength(); ++i)
        value = (value << 4) + static_cast<unsigned>(RefHexDigit(p[i]));
    return static_cast<int>(value);
}

// Texts of fewer than ten digits.
LONG RefDigitsToLong(CString strText)
{
    const char* p = Opaque(strText.GetString());
    LONG value = 0;
    for (int i = 0; i < strText.GetLength(); ++i)
        if (p[i] >= '0' && p[i] <= '9')
            value = value * 10 + (p[i] - '0');
    return value;
}

// "#RRGGBB" in full.
COLORREF RefTextToColor(CString strText)
{
    const char* p = Opaque(strText.GetString()) + 1;
    COLORREF crColor = 0;
    for (int i = 0; i < 3; ++i)
        crColor |= static_cast<COLORREF>(RefHexDigit(p[2 * i]) * 16 + RefHexDigit(p[2 * i + 1])) << (8 * i);
    return crColor;
}

// Four parts of plain digits.
CVersionQuad RefParseVersionText(CString strText)
{
    const char* p = Opaque(strText.GetString());
    CVersionQuad quad = {};
    int nPart = 0;
    for (int i = 0; i < strText.GetLength() && nPart < 4; ++i)
    {
        if (p[i] == '.' || p[i] == ',')
            ++nPart;
        else
            quad.n[nPart] = quad.n[nPart] * 10 + (p[i] - '0');
    }
    return quad;
}

// The bare platform calls: canonical form, then its scheme. Through
// pointers from wininet.dll in the system folder, as the library calls them.
CString RefURLScheme(CString strURL)
{
    static const auto pfnCanonicalize =
        g_internetLibrary.GetProc<decltype(&InternetCanonicalizeUrlA)>("InternetCanonicalizeUrlA");
    static const auto pfnCrack = g_internetLibrary.GetProc<decltype(&InternetCrackUrlA)>("InternetCrackUrlA");
    char canonical[INTERNET_MAX_URL_LENGTH + 1];
    DWORD dwSize = sizeof(canonical) - 1;
    if (!pfnCanonicalize(strURL, canonical, &dwSize, ICU_BROWSER_MODE))
        return CString();
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    if (!pfnCrack(canonical, dwSize, 0, &parts))
        return CString();
    switch (parts.nScheme)
    {
    case INTERNET_SCHEME_HTTP: return CString("http");
    case INTERNET_SCHEME_HTTPS: return CString("https");
    default: return CString("unk");
    }
}

CString RefFileLengthText(CString strPath)
{
    LARGE_INTEGER size = {};
    CFileHandle file(CreateFileA(strPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file)
        GetFileSizeEx(file.Get(), &size);
    char buffer[256];
    StrFormatByteSize64A(size.QuadPart, buffer, sizeof(buffer));
    return CString(buffer);
}

void BenchPerCall(const std::string& folder)
{
    const int calls = 20000;
    const double target = 2.0;
    PerCall("FormatDuration 3661.5 s, 2 digits", calls, target,
            [] { return FormatDuration(Opaque(3661.5), 0, 2); },
            [] { return RefFormatDuration(Opaque(3661.5), 0, 2); });
    PerCall("FormatDuration 90061 s, level 3", calls, target,
            [] { return FormatDuration(Opaque(90061.0), 3, 0); },
            [] { return RefFormatDuration(Opaque(90061.0), 3, 0); });
    PerCall("FormatBitRate 1000000", calls, target,
            [] { return FormatBitRate(Opaque(1000000LL)); },
            [] { return RefFormatBitRate(Opaque(1000000LL)); });
    const CString strComma(",");
    PerCall("FormatThousands 1234567", calls, target,
            [&] { return FormatThousands(Opaque(1234567LL), strComma, 3); },
            [&] { return RefFormatThousands(Opaque(1234567LL), strComma, 3); });
    PerCall("ColorToText", calls, target,
            [] { return ColorToText(Opaque(RGB(0x12, 0x34, 0x56))); },
            [] { return RefColorToText(Opaque(RGB(0x12, 0x34, 0x56))); });

    const CString strPath("C:\\Program Files\\Kestrum\\file.tar.gz");
    const CString strFolder("C:/Program Files/Kestrum/");
    PerCall("GetFileName", calls, target, [&] { return GetFileName(strPath); }, [&] { return RefFileName(strPath); });
    PerCall("GetFileTitle", calls, target,
            [&] { return GetFileTitle(strPath); }, [&] { return RefFileNamePart(strPath, true); });
    PerCall("GetFileExt", calls, target,
            [&] { return GetFileExt(strPath); }, [&] { return RefFileNamePart(strPath, false); });
    PerCall("GetFileDir", calls, target, [&] { return GetFileDir(strPath); }, [&] { return RefFileDir(strPath); });
    PerCall("GetParentDir of a folder", calls, target,
            [&] { return GetParentDir(strFolder); }, [&] { return RefParentDir(strFolder); });
    PerCall("GetDrive", calls, target, [&] { return GetDrive(strPath); }, [&] { return RefDrive(strPath); });
    const CString strOther("c:/program files/kestrum/FILE.TAR.GZ/");
    PerCall("IsSamePath", calls, target,
            [&] { return IsSamePath(strPath, strOther); }, [&] { return RefIsSamePath(strPath, strOther); });

    const CString strHex("7FfF00aa");
    const CString strDigits("1,234,567");
    const CString strColor("#123456");
    const CString strVersion("10.0.19041.1");
    PerCall("HexToInt", calls, target, [&] { return HexToInt(strHex); }, [&] { return RefHexToInt(strHex); });
    PerCall("DigitsToLong", calls, target,
            [&] { return DigitsToLong(strDigits); }, [&] { return RefDigitsToLong(strDigits); });
    PerCall("TextToColor", calls, target,
            [&] { return TextToColor(strColor); }, [&] { return RefTextToColor(strColor); });
    PerCall("ParseVersionText", calls, target,
            [&] {
                CVersionQuad quad;
                ParseVersionText(strVersion, quad.n[0], quad.n[1], quad.n[2], quad.n[3]);
                return quad;
            },
            [&] { return RefParseVersionText(strVersion); });

    const CString strURL("https://www.example.com/media/clip.wmv");
    PerCall("GetURLScheme vs bare", 2000, 1.3,
            [&] { return GetURLScheme(strURL); }, [&] { return RefURLScheme(strURL); });
    const std::string file = folder + "length.bin";
    WritePatternFile(file, 1340);
    const CString strFile(file.c_str());
    PerCall("GetFileLengthText vs bare", 400, 1.3,
            [&] { return GetFileLengthText(strFile); }, [&] { return RefFileLengthText(strFile); });
}

// --- what a setup program pays ------------------------------------------
//
// A setup program, or regsvr32, loads the module, calls DllRegisterServer
// and frees it. Each is timed against the same with a plain C DLL built
// with the same flags that does the same registration (the reference), each
// DLL in a scratch folder of its own beside a REG.DAT of a class of its
// own. Before timing, both registrations must leave the same values.

const char* const kBenchClasses[2] = {"4B657374-7275-4D00-8000-62656E636801",
                                      "4B657374-7275-4D00-8000-62656E636802"};

std::string ExeFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// The registry below a class key as text, value by value, both roots.
std::string RegisteredValues(const char* pszClsid)
{
    std::string text;
    const std::string classKey = std::string("SOFTWARE\\Classes\\CLSID\\{") + pszClsid + "}";
    for (HKEY hRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (const char* pszSub : {"", "\\InstalledVersion"})
            for (const char* pszName : {"", "Path"})
            {
                char data[512] = "";
                DWORD dwSize = sizeof(data) - 1;
                if (RegGetValueA(hRoot, (classKey + pszSub).c_str(), pszName, RRF_RT_REG_SZ, nullptr, data,
                                 &dwSize) == ERROR_SUCCESS)
                    text += std::string(pszSub) + "|" + pszName + "=" + data + "\n";
            }
    return text;
}

void RemoveBenchClasses()
{
    for (const char* pszClsid : kBenchClasses)
        for (HKEY hRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            RegDeleteTreeA(hRoot, (std::string("SOFTWARE\\Classes\\CLSID\\{") + pszClsid + "}").c_str());
}

void BenchSetupHost(const std::string& folder)
{
    const char* const files[2] = {"Kestrum.ocx", "kestrum_bench_reference.dll"};
    std::string paths[2];
    for (int i = 0; i < 2; ++i)
    {
        const std::string dir = folder + (i == 0 ? "module" : "reference");
        CreateDirectoryA(dir.c_str(), nullptr);
        paths[i] = dir + "\\" + files[i];
        CopyFileA((ExeFolder() + files[i]).c_str(), paths[i].c_str(), FALSE);
        const std::string regDat = std::string("[REG]\r\nCLSID=") + kBenchClasses[i] +
                                   "\r\nTITLE=Kestrum Bench\r\nVERSION=1.0.0.1\r\nPATH=Program Files\\Kestrum\r\n";
        CFileHandle file(CreateFileA((dir + "\\REG.DAT").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD dwWritten = 0;
        WriteFile(file.Get(), regDat.data(), static_cast<DWORD>(regDat.size()), &dwWritten, nullptr);
    }
    auto load = [&](int i, bool bRegister) {
        HMODULE hModule = LoadLibraryA(paths[i].c_str());
        if (hModule == nullptr)
            return E_FAIL;
        using RegisterFn = HRESULT(STDAPICALLTYPE*)();
        auto pfnRegister =
            reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(hModule, "DllRegisterServer")));
        HRESULT hr = pfnRegister == nullptr ? E_FAIL : bRegister ? pfnRegister() : S_OK;
        FreeLibrary(hModule);
        return hr;
    };

    RemoveBenchClasses();
    const bool bSame = load(0, true) == S_OK && load(1, true) == S_OK &&
                       RegisteredValues(kBenchClasses[0]).size() > 0 &&
                       RegisteredValues(kBenchClasses[0]) == RegisteredValues(kBenchClasses[1]);
    if (!bSame)
    {
        std::printf("%-34s the module and the plain DLL register differently\n", "setup host");
        g_status = 1;
        RemoveBenchClasses();
        return;
    }
    const int calls = 20;
    std::vector<double> m = Medians(
        {
            [&] { for (int k = 0; k < calls; ++k) load(0, false); },
            [&] { for (int k = 0; k < calls; ++k) load(1, false); },
            [&] { for (int k = 0; k < calls; ++k) load(0, true); },
            [&] { for (int k = 0; k < calls; ++k) load(1, true); },
        },
        5 * g_runs);
    RemoveBenchClasses();
    PrintCallRow("load + free vs plain DLL", m[0] / calls, m[1] / calls, 1.25);
    PrintCallRow("load + register + free vs plain", m[2] / calls, m[3] / calls, 1.25);
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            g_runs = std::max(1, std::atoi(argv[i + 1]));
    const std::string folder = TempFolder();
    PrintHeader();
    BenchChecksum(folder);
    BenchSplit();
    BenchLinear();
    BenchCharsets();
    BenchFileList(folder);
    BenchPerCall(folder);
    BenchSetupHost(folder);
    return g_status;
}
