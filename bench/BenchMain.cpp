// Kestrum benchmark: each case runs several times after a warm-up and is
// set against a reference measured in the same run, since on a shared,
// noisy machine the ratios are what count.
//
//   kestrum_bench [--runs N]
#include "framework/Handle.h"
#include "framework/StringArray.h"
#include "util/path/FileSystem.h"
#include "util/path/MappedFile.h"
#include "util/path/PathUtil.h"
#include "util/text/CharsetText.h"
#include "util/text/DurationText.h"
#include "util/text/LineText.h"
#include "util/text/NumberText.h"

#include <windows.h>

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
std::vector<double> Medians(const std::vector<std::function<void()>>& fns)
{
    for (const auto& fn : fns)
        fn();
    std::vector<std::vector<double>> times(fns.size());
    for (int i = 0; i < g_runs; ++i)
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

void BenchPerCall()
{
    const int calls = 100000;
    struct Case
    {
        const char* name;
        std::function<void()> fn;
    } cases[] = {
        {"FormatThousands", [] { g_sink = FormatThousands(-1234567890123LL, ",", 3).GetLength(); }},
        {"FormatBitRate", [] { g_sink = FormatBitRate(1000000).GetLength(); }},
        {"FormatDuration", [] { g_sink = FormatDuration(3661.5, 0, 2).GetLength(); }},
        {"HexToInt", [] { g_sink = static_cast<unsigned>(HexToInt("7FfF00aa")); }},
        {"GetFileName", [] { g_sink = GetFileName("C:\\Program Files\\Kestrum\\Kestrum.ocx").GetLength(); }},
    };
    for (const Case& c : cases)
    {
        double seconds = Medians({[&] {
            for (int i = 0; i < calls; ++i)
                c.fn();
        }})[0];
        std::printf("%-34s %8.1f ns per call\n", c.name, seconds / calls * 1e9);
    }
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
    BenchPerCall();
    return 0;
}
