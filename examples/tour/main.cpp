// A tour of the utility library: one short example per family of
// operations. Each line shows a call as written in C++ and, after "->",
// what it returns. docs/library.md shows this program's output, and a test
// checks that the two still agree.
#include "framework/Handle.h"
#include "util/path/FileSystem.h"
#include "util/path/MappedFile.h"
#include "util/path/PathUtil.h"
#include "util/text/CharsetText.h"
#include "util/text/DurationText.h"
#include "util/text/LineText.h"
#include "util/text/NumberText.h"
#include "util/text/UrlScheme.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void Print(const char* pszCall, const CString& str)
{
    std::printf("%s -> \"%s\"\n", pszCall, str.GetString());
}

void Print(const char* pszCall, long long llValue)
{
    std::printf("%s -> %lld\n", pszCall, llValue);
}

void PrintHex(const char* pszCall, unsigned long dwValue, int nDigits)
{
    std::printf("%s -> 0x%0*lX\n", pszCall, nDigits, dwValue);
}

// A list as the names it holds, each in quotes.
void PrintList(const char* pszCall, const CStringArray& list)
{
    std::printf("%s ->", pszCall);
    for (int i = 0; i < list.GetSize(); ++i)
        std::printf(" \"%s\"", list[i].GetString());
    std::printf("\n");
}

// Bytes up to the first zero, in hexadecimal, so any code page prints alike.
void PrintBytes(const char* pszCall, const char* pBytes)
{
    std::printf("%s -> bytes", pszCall);
    for (const char* p = pBytes; *p != '\0'; ++p)
        std::printf(" %02X", static_cast<unsigned char>(*p));
    std::printf("\n");
}

#define SHOW(expr) Print(#expr, (expr))
#define SHOW_HEX(expr, digits) PrintHex(#expr, (expr), digits)

void PathDecomposition()
{
    std::printf("[Path decomposition]\n");
    SHOW(GetFileDir("C:/dir/file.tar.gz"));
    SHOW(GetParentDir("C:/dir/file.tar.gz"));
    SHOW(GetFileTitle("C:/dir/file.tar.gz"));
    SHOW(GetFileExt("C:/dir/file.tar.gz"));
    SHOW(GetFileName("http://host/page.asp?id=3"));
    SHOW(IsSamePath("C:\\Dir\\", "c:/dir"));
}

void FileSystemQueries(const CString& strRoot)
{
    std::printf("[File-system queries]\n");
    SHOW(CreateDirectoryTree(strRoot + "\\logs\\2024\\"));
    SHOW(IsDirectory(strRoot + "/logs"));
    SHOW(GetFileLength(strRoot + "\\report.txt"));
    SHOW(GetFileLengthText(strRoot + "\\report.txt"));
    CStringArray files;
    GetFileList(strRoot, files, "*.txt");
    PrintList("GetFileList(strRoot, files, \"*.txt\")", files);
    CStringArray folders;
    GetSubFolderList(strRoot + "/", folders);
    PrintList("GetSubFolderList(strRoot + \"/\", folders)", folders);
}

void MappedFileAndChecksum(const CString& strRoot)
{
    std::printf("[Mapped file and checksum]\n");
    CMappedFile file;
    const BYTE* pView = file.Open(strRoot + "\\three.bin");
    Print("file.Open(strRoot + \"\\\\three.bin\") != nullptr", pView != nullptr);
    SHOW(file.GetSize());
    SHOW(file.Open(strRoot + "\\three.bin") != nullptr);
    file.Close();
    SHOW_HEX(GetFileChecksum(strRoot + "\\three.bin"), 2);
    SHOW_HEX(GetFileChecksum(strRoot + "\\missing.bin"), 2);
}

void NumberColourVersion()
{
    std::printf("[Number, colour and version text]\n");
    SHOW(HexToInt("0x1F"));
    SHOW(DigitsToLong("build 1.2.3"));
    SHOW_HEX(TextToColor("#FF8000"), 6);
    SHOW(ColorToText(RGB(0x12, 0x34, 0x56)));
    SHOW(FormatThousands(1234567, ",", 3));
    int a, b, c, d;
    ParseVersionText("10, 0, 19041, 1", a, b, c, d);
    std::printf("ParseVersionText(\"10, 0, 19041, 1\", a, b, c, d) -> %d %d %d %d\n", a, b, c, d);
}

void DurationBitRate()
{
    std::printf("[Duration and bit-rate text]\n");
    SHOW(FormatDuration(65, 3, 0));
    SHOW(FormatDuration(65, 0, 0));
    SHOW(FormatDuration(3661.5, 0, 2));
    SHOW(FormatDuration(90061, 0, 0));
    SHOW(FormatBitRate(1000000));
    SHOW(FormatBitRate(1023));
}

void LinesSplittingCharsets()
{
    std::printf("[Lines, splitting and character sets]\n");
    int nLength = 0;
    CString strLine = ReadLine("abc\r\ndef", nLength);
    std::printf("ReadLine(\"abc\\r\\ndef\", nLength) -> \"%s\", nLength %d\n", strLine.GetString(), nLength);
    strLine = ReadLine("abc", nLength);
    std::printf("ReadLine(\"abc\", nLength) -> \"%s\", nLength %d\n", strLine.GetString(), nLength);
    CStringArray pieces;
    SplitString("a,,b,", ",", pieces);
    PrintList("SplitString(\"a,,b,\", \",\", pieces)", pieces);
    char szDest[16];
    Utf8ToMultiByte("caf\xC3\xA9", 5, szDest, sizeof(szDest), 1252);
    PrintBytes("Utf8ToMultiByte(\"caf\\xC3\\xA9\", 5, szDest, sizeof(szDest), 1252)", szDest);
    MultiByteToUtf8("\xC7\xD1", 2, szDest, sizeof(szDest), 949);
    PrintBytes("MultiByteToUtf8(\"\\xC7\\xD1\", 2, szDest, sizeof(szDest), 949)", szDest);
}

void UrlSchemes()
{
    std::printf("[URL schemes]\n");
    SHOW(GetURLScheme("https://example.com/"));
    SHOW(GetURLScheme("news:comp.lang.c"));
    SHOW(GetURLScheme("MMS://media.example.com/live"));
    SHOW(GetURLScheme("rtspu://media.example.com/live"));
    SHOW(GetURLScheme("not a url"));
}

} // namespace

int main()
{
    // The file examples work in a scratch folder that they remove again.
    char szTemp[MAX_PATH];
    DWORD dwLength = GetTempPathA(MAX_PATH, szTemp);
    if (dwLength == 0 || dwLength >= MAX_PATH)
        return 1;
    char szRoot[MAX_PATH + 32];
    std::snprintf(szRoot, sizeof(szRoot), "%skestrum-tour-%lu", szTemp, GetCurrentProcessId());
    CString strRoot = szRoot;
    if (!CreateDirectoryA(strRoot, nullptr))
        return 1;
    struct
    {
        const char* pszName;
        std::string bytes;
    } const files[] = {{"report.txt", std::string(5000, 'r')}, {"notes.log", "n"}, {"three.bin", "\x01\x02\x04"}};
    for (const auto& f : files)
    {
        CFileHandle hFile(CreateFileA(strRoot + "\\" + f.pszName, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!hFile)
            return 1;
        DWORD dwWritten = 0;
        WriteFile(hFile.Get(), f.bytes.data(), static_cast<DWORD>(f.bytes.size()), &dwWritten, nullptr);
    }

    PathDecomposition();
    FileSystemQueries(strRoot);
    MappedFileAndChecksum(strRoot);
    NumberColourVersion();
    DurationBitRate();
    LinesSplittingCharsets();
    UrlSchemes();

    for (const auto& f : files)
        DeleteFileA(strRoot + "\\" + f.pszName);
    RemoveDirectoryA(strRoot + "\\logs\\2024");
    RemoveDirectoryA(strRoot + "\\logs");
    RemoveDirectoryA(strRoot);
    return 0;
}
