// Complaints on standard error, the platform's reasons in words, and the
// progress line.
#include "tools/kestrum/Tool.h"

#include "framework/CodePage.h"

#include <cstdarg>
#include <cstdio>

namespace {

std::wstring g_strFirstComplaint;
bool g_bProgressShown = false;
size_t g_nProgressWidth = 0;

void ClearProgress()
{
    if (!g_bProgressShown)
        return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(g_nProgressWidth), "");
    std::fflush(stderr);
    g_bProgressShown = false;
}

void WriteComplaint(const char* pszPrefix, const CString& strLine)
{
    ClearProgress();
    WriteText(stderr, CString("kestrum: ") + pszPrefix + strLine + "\n", true);
}

CString FormatMessageV(const char* pszFormat, va_list args) KESTRUM_PRINTF(1, 0);
CString FormatMessageV(const char* pszFormat, va_list args)
{
    CString strMessage;
    strMessage.FormatV(pszFormat, args);
    return strMessage;
}

} // namespace

int Fail(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    CString strMessage = FormatMessageV(pszFormat, args);
    va_end(args);
    if (g_strFirstComplaint.empty())
        g_strFirstComplaint = AfxFromCodePage(strMessage);
    WriteComplaint("", EscapeText(strMessage));
    return ExitFailure;
}

int FailName(const std::wstring& strName, const CString& strReason)
{
    if (g_strFirstComplaint.empty())
        g_strFirstComplaint = strName + L": " + AfxFromCodePage(strReason);
    WriteComplaint("", TextOfFileName(strName) + ": " + EscapeText(strReason));
    return ExitFailure;
}

void WriteError(const CString& strLine)
{
    WriteComplaint("", strLine);
}

void Warn(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    CString strMessage = FormatMessageV(pszFormat, args);
    va_end(args);
    WriteComplaint("warning: ", EscapeText(strMessage));
}

const std::wstring& GetFirstComplaint()
{
    return g_strFirstComplaint;
}

CString DescribeError(DWORD dwError)
{
    switch (dwError)
    {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return "not found";
    case ERROR_FILENAME_EXCED_RANGE:
        return "path too long";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "in use by another program";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    default:
        break;
    }
    char szText[512] = "";
    DWORD dwLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                                    szText, sizeof(szText), nullptr);
    while (dwLength > 0 && (szText[dwLength - 1] == '\n' || szText[dwLength - 1] == '\r' ||
                            szText[dwLength - 1] == ' ' || szText[dwLength - 1] == '.'))
        szText[--dwLength] = '\0';
    CString strReason;
    if (dwLength > 0)
        strReason.Format("%s (error %lu)", szText, dwError);
    else
        strReason.Format("error %lu", dwError);
    return strReason;
}

CProgress::CProgress(const char* pszCommand, size_t nFiles)
    : m_pszCommand(pszCommand), m_nFiles(nFiles), m_dwStart(GetTickCount()), m_dwLast(0)
{
    DWORD dwMode = 0;
    m_bConsole = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &dwMode) != FALSE;
}

CProgress::~CProgress()
{
    ClearProgress();
}

void CProgress::Show(size_t nIndex, unsigned long long qwDone, unsigned long long qwTotal)
{
    if (!m_bConsole)
        return;
    DWORD dwNow = GetTickCount();
    if (dwNow - m_dwStart < 1000 || (g_bProgressShown && dwNow - m_dwLast < 200))
        return;
    m_dwLast = dwNow;
    CString strLine;
    strLine.Format("%s: file %u of %u", m_pszCommand, static_cast<unsigned>(nIndex + 1),
                   static_cast<unsigned>(m_nFiles));
    if (qwTotal > 0)
    {
        CString strBytes;
        strBytes.Format(", %u%%", static_cast<unsigned>(qwDone * 100 / qwTotal));
        strLine += strBytes;
    }
    size_t nWidth = static_cast<size_t>(strLine.GetLength());
    std::fprintf(stderr, "\r%s%*s", strLine.GetString(),
                 static_cast<int>(g_nProgressWidth > nWidth ? g_nProgressWidth - nWidth : 0), "");
    std::fflush(stderr);
    g_nProgressWidth = nWidth > g_nProgressWidth ? nWidth : g_nProgressWidth;
    g_bProgressShown = true;
}
