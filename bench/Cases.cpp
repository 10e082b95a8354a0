// Kestrum benchmark: the cases, each timed against its reference
// (References.h) by the harness (Harness.h).
//
//   kestrum_bench [--runs N] [--per-call]
//
// --runs N takes N rounds a case (7 by default; five times as many for the
// per-call rows); --per-call runs the per-call rows alone.
#include "bench/Harness.h"
#include "bench/References.h"

#include "framework/StringArray.h"
#include "util/path/FileSystem.h"
#include "util/path/MappedFile.h"
#include "util/path/PathUtil.h"
#include "util/text/CharsetText.h"
#include "util/text/DurationText.h"
#include "util/text/LineText.h"
#include "util/text/NumberText.h"
#include "util/text/UrlScheme.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

using namespace bench;

namespace {

void BenchChecksum(CBench& bench, const std::string& folder)
{
    const size_t size = 256u << 20;
    const std::string path = folder + "checksum.bin";
    WritePatternFile(path, size);
    bench.Keep(GetFileChecksum(path.c_str()));   // into the page cache

    View residentView(path);
    TouchPages(residentView.data, residentView.size);
    std::vector<double> m = bench.Medians({
        [&] { bench.Keep(GetFileChecksum(path.c_str())); },
        [&] {
            View view(path);
            bench.Keep(TouchPages(view.data, view.size));
        },
        [&] { bench.Keep(FoldResident(residentView.data, residentView.size)); },
        [&] {
            View view(path);
            bench.Keep(FoldBytes(view.data, view.size));
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

void BenchSplit(CBench& bench)
{
    std::string text = SplitText(16u << 20);
    std::string big = SplitText(64u << 20);
    CString cstr(text.c_str(), static_cast<int>(text.size()));
    CString cbig(big.c_str(), static_cast<int>(big.size()));
    auto split = [&](const CString& s) {
        CStringArray list;
        SplitString(s, ",", list);
        bench.Keep(list.GetSize());
    };
    std::vector<double> m = bench.Medians({
        [&] { split(cstr); },
        [&] { bench.Keep(RefSplit(text)); },
        [&] { split(cbig); },
    });
    PrintRow("SplitString 16 MiB vs std::vector", m[0], static_cast<double>(text.size()), m[1], 2.0);
    PrintRow("SplitString 64 MiB vs 16 MiB", m[2], static_cast<double>(big.size()), m[0], 4.5);
}

// Operations that rewrite a whole text: four times the text must take about
// four times as long (a copy per match would make it sixteen).
void BenchLinear(CBench& bench)
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
        std::vector<double> m = bench.Medians({[&] { run(0); }, [&] { run(1); }});
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

void BenchCharsets(CBench& bench)
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
        std::vector<double> m = bench.Medians({
            [&] { Utf8ToMultiByte(utf8.data(), count, dest.data(), static_cast<int>(dest.size()), c.codePage); },
            [&] { RefConvert(CP_UTF8, utf8.data(), count, wide, c.codePage, dest); },
        });
        PrintRow(c.name, m[0], utf8.size(), m[1], 1.3);
    }

    std::string utf8 = MixedUtf8(true);
    std::vector<char> cp949(utf8.size() + 1);
    Utf8ToMultiByte(utf8.data(), static_cast<int>(utf8.size()), cp949.data(), static_cast<int>(cp949.size()), 949);
    int count = static_cast<int>(strlen(cp949.data()));
    std::vector<char> dest(utf8.size() + 16);
    std::vector<WCHAR> wide(static_cast<size_t>(count) + 1);
    std::vector<double> m = bench.Medians({
        [&] { MultiByteToUtf8(cp949.data(), count, dest.data(), static_cast<int>(dest.size()), 949); },
        [&] { RefConvert(949, cp949.data(), count, wide, CP_UTF8, dest); },
    });
    PrintRow("MultiByteToUtf8 949 to UTF-8", m[0], count, m[1], 1.3);
}

void BenchFileList(CBench& bench, const std::string& base)
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
    std::vector<double> m = bench.Medians({
        [&] {
            CStringArray list;
            GetFileList(folder.c_str(), list, "*.*");
            bench.Keep(list.GetSize());
        },
        [&] { bench.Keep(RefFileCount(folder)); },
    });
    PrintRow("GetFileList 20,000 files vs bare", m[0], 0, m[1], 1.3);
}

// --- per-call text operations -------------------------------------------
//
// Each operation is timed over a loop of calls in alternation with its
// reference (References.h). The loops are short and the rounds five times
// as many as for the cases above. A case whose result differs from its
// reference's is reported and fails the run.

void BenchPerCall(CBench& bench, const std::string& folder)
{
    const int calls = 20000;
    const double target = 2.0;
    bench.PerCall("FormatDuration 3661.5 s, 2 digits", calls, target,
                  [] { return FormatDuration(Opaque(3661.5), 0, 2); },
                  [] { return RefFormatDuration(Opaque(3661.5), 0, 2); });
    bench.PerCall("FormatDuration 90061 s, level 3", calls, target,
                  [] { return FormatDuration(Opaque(90061.0), 3, 0); },
                  [] { return RefFormatDuration(Opaque(90061.0), 3, 0); });
    bench.PerCall("FormatBitRate 1000000", calls, target,
                  [] { return FormatBitRate(Opaque(1000000LL)); },
                  [] { return RefFormatBitRate(Opaque(1000000LL)); });
    const CString strComma(",");
    bench.PerCall("FormatThousands 1234567, CString", calls, target,
                  [&] { return FormatThousands(Opaque(1234567LL), strComma, 3); },
                  [&] { return RefFormatThousands(Opaque(1234567LL), strComma, 3); });
    // The separator as callers write it: a literal, which becomes a CString.
    bench.PerCall("FormatThousands 1234567, \",\"", calls, target,
                  [] { return FormatThousands(Opaque(1234567LL), ",", 3); },
                  [] { return RefFormatThousands(Opaque(1234567LL), Opaque(","), 3); });
    bench.PerCall("ColorToText", calls, target,
                  [] { return ColorToText(Opaque(RGB(0x12, 0x34, 0x56))); },
                  [] { return RefColorToText(Opaque(RGB(0x12, 0x34, 0x56))); });

    const CString strPath("C:\\Program Files\\Kestrum\\file.tar.gz");
    const CString strFolder("C:/Program Files/Kestrum/");
    bench.PerCall("GetFileName", calls, target,
                  [&] { return GetFileName(strPath); }, [&] { return RefFileName(strPath); });
    bench.PerCall("GetFileTitle", calls, target,
                  [&] { return GetFileTitle(strPath); }, [&] { return RefFileNamePart(strPath, true); });
    bench.PerCall("GetFileExt", calls, target,
                  [&] { return GetFileExt(strPath); }, [&] { return RefFileNamePart(strPath, false); });
    bench.PerCall("GetFileDir", calls, target,
                  [&] { return GetFileDir(strPath); }, [&] { return RefFileDir(strPath); });
    bench.PerCall("GetParentDir of a folder", calls, target,
                  [&] { return GetParentDir(strFolder); }, [&] { return RefParentDir(strFolder); });
    bench.PerCall("GetDrive", calls, target,
                  [&] { return GetDrive(strPath); }, [&] { return RefDrive(strPath); });
    const CString strOther("c:/program files/kestrum/FILE.TAR.GZ/");
    bench.PerCall("IsSamePath", calls, target,
                  [&] { return IsSamePath(strPath, strOther); }, [&] { return RefIsSamePath(strPath, strOther); });

    const CString strHex("7FfF00aa");
    const CString strDigits("1,234,567");
    const CString strColor("#123456");
    const CString strVersion("10.0.19041.1");
    bench.PerCall("HexToInt", calls, target,
                  [&] { return HexToInt(strHex); }, [&] { return RefHexToInt(strHex); });
    bench.PerCall("DigitsToLong", calls, target,
                  [&] { return DigitsToLong(strDigits); }, [&] { return RefDigitsToLong(strDigits); });
    bench.PerCall("TextToColor", calls, target,
                  [&] { return TextToColor(strColor); }, [&] { return RefTextToColor(strColor); });
    bench.PerCall("ParseVersionText", calls, target,
                  [&] {
                      CVersionQuad quad;
                      ParseVersionText(strVersion, quad.n[0], quad.n[1], quad.n[2], quad.n[3]);
                      return quad;
                  },
                  [&] { return RefParseVersionText(strVersion); });

    const CString strURL("https://www.example.com/media/clip.wmv");
    bench.PerCall("GetURLScheme vs bare", 2000, 1.3,
                  [&] { return GetURLScheme(strURL); }, [&] { return RefURLScheme(strURL); });
    const std::string file = folder + "length.bin";
    WritePatternFile(file, 1340);
    const CString strFile(file.c_str());
    bench.PerCall("GetFileLengthText vs bare", 400, 1.3,
                  [&] { return GetFileLengthText(strFile); }, [&] { return RefFileLengthText(strFile); });
}

// --- what a setup program pays ------------------------------------------
//
// A setup program, or regsvr32, loads the module, calls DllRegisterServer
// and frees it. Each is timed against the same with a plain C DLL built
// with the same flags that does the same registration (the reference,
// ReferenceRegistration.c), each DLL in a scratch folder of its own beside
// a REG.DAT of a class of its own. Before timing, both registrations must
// leave the same values.

const char* const kBenchClasses[2] = {"4B657374-7275-4D00-8000-62656E636801",
                                      "4B657374-7275-4D00-8000-62656E636802"};

std::string ClassKey(const char* pszClsid)
{
    return std::string("SOFTWARE\\Classes\\CLSID\\{") + pszClsid + "}";
}

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
    const std::string classKey = ClassKey(pszClsid);
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
            RegDeleteTreeA(hRoot, ClassKey(pszClsid).c_str());
}

void BenchSetupHost(CBench& bench, const std::string& folder)
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
        bench.Fail("setup host", "the module and the plain DLL register differently");
        RemoveBenchClasses();
        return;
    }
    const int calls = 20;
    std::vector<double> m = bench.CallMedians({
        [&] { for (int k = 0; k < calls; ++k) load(0, false); },
        [&] { for (int k = 0; k < calls; ++k) load(1, false); },
        [&] { for (int k = 0; k < calls; ++k) load(0, true); },
        [&] { for (int k = 0; k < calls; ++k) load(1, true); },
    });
    RemoveBenchClasses();
    PrintCallRow("load + free vs plain DLL", m[0] / calls, m[1] / calls, 1.25);
    PrintCallRow("load + register + free vs plain", m[2] / calls, m[3] / calls, 1.25);
}

} // namespace

int main(int argc, char** argv)
{
    int nRuns = 7;
    bool bPerCallOnly = false;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            nRuns = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--per-call") == 0)
            bPerCallOnly = true;
        else
        {
            std::fprintf(stderr, "usage: kestrum_bench [--runs N] [--per-call]\n");
            return 2;
        }
    }
    CBench bench(nRuns);
    const std::string folder = TempFolder();
    PrintHeader();
    if (!bPerCallOnly)
    {
        BenchChecksum(bench, folder);
        BenchSplit(bench);
        BenchLinear(bench);
        BenchCharsets(bench);
        BenchFileList(bench, folder);
    }
    BenchPerCall(bench, folder);
    if (!bPerCallOnly)
        BenchSetupHost(bench, folder);
    return bench.GetStatus();
}
