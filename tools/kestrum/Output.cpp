// Output for every command: tab-separated records, JSON and error lines.
#include "tools/kestrum/Tool.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

int Fail(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    CString strMessage;
    strMessage.FormatV(pszFormat, args);
    va_end(args);
    std::fprintf(stderr, "kestrum: %s\n", strMessage.GetString());
    return ExitFailure;
}

CString CheckReadable(const CString& strPath, unsigned long dwShareMode)
{
    DWORD dwAttributes = GetFileAttributesA(strPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return "not found";
    if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return "is a folder";
    HANDLE hFile = CreateFileA(strPath, GENERIC_READ, dwShareMode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        CloseHandle(hFile);
        return CString();
    }
    DWORD dwError = GetLastError();
    if (dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION)
        return "in use by another program";
    if (dwError == ERROR_ACCESS_DENIED)
        return "access denied";
    CString strReason;
    strReason.Format("cannot be opened (error %lu)", dwError);
    return strReason;
}

void PrintRecord(const std::vector<CString>& fields)
{
    for (size_t i = 0; i < fields.size(); ++i)
    {
        if (i > 0)
            std::fputc('\t', stdout);
        std::fwrite(fields[i].GetString(), 1, fields[i].GetLength(), stdout);
    }
    std::fputc('\n', stdout);
}

std::string JsonQuote(const CString& str)
{
    std::wstring wide;
    if (!str.IsEmpty())
    {
        // Strictly first, so valid text is never altered; text with stray
        // bytes then goes through the platform's lenient conversion.
        DWORD dwFlags = MB_ERR_INVALID_CHARS;
        int nUnits = MultiByteToWideChar(CP_ACP, dwFlags, str, str.GetLength(), nullptr, 0);
        if (nUnits == 0)
        {
            dwFlags = 0;
            nUnits = MultiByteToWideChar(CP_ACP, dwFlags, str, str.GetLength(), nullptr, 0);
        }
        wide.resize(nUnits);
        if (nUnits > 0)
            MultiByteToWideChar(CP_ACP, dwFlags, str, str.GetLength(), &wide[0], nUnits);
    }

    std::string out = "\"";
    for (wchar_t ch : wide)
    {
        switch (ch)
        {
        case L'"': out += "\\\""; break;
        case L'\\': out += "\\\\"; break;
        case L'\b': out += "\\b"; break;
        case L'\f': out += "\\f"; break;
        case L'\n': out += "\\n"; break;
        case L'\r': out += "\\r"; break;
        case L'\t': out += "\\t"; break;
        default:
            if (ch >= 0x20 && ch < 0x7F)
            {
                out += static_cast<char>(ch);
            }
            else
            {
                char szEscape[8];
                std::snprintf(szEscape, sizeof(szEscape), "\\u%04x", static_cast<unsigned>(ch));
                out += szEscape;
            }
            break;
        }
    }
    out += '"';
    return out;
}

void CJsonWriter::BeforeValue()
{
    if (m_bAfterKey)
    {
        m_bAfterKey = false;
        return;
    }
    if (!m_bFirst.empty())
    {
        if (!m_bFirst.back())
            m_strText += ',';
        m_bFirst.back() = false;
    }
}

void CJsonWriter::BeginObject()
{
    BeforeValue();
    m_strText += '{';
    m_bFirst.push_back(true);
}

void CJsonWriter::EndObject()
{
    m_strText += '}';
    m_bFirst.pop_back();
}

void CJsonWriter::BeginArray()
{
    BeforeValue();
    m_strText += '[';
    m_bFirst.push_back(true);
}

void CJsonWriter::EndArray()
{
    m_strText += ']';
    m_bFirst.pop_back();
}

void CJsonWriter::Key(const char* pszName)
{
    BeforeValue();
    m_strText += JsonQuote(pszName);
    m_strText += ':';
    m_bAfterKey = true;
}

void CJsonWriter::String(const CString& str)
{
    BeforeValue();
    m_strText += JsonQuote(str);
}

void CJsonWriter::Number(unsigned long long qwValue)
{
    BeforeValue();
    m_strText += std::to_string(qwValue);
}

void CJsonWriter::Bool(bool bValue)
{
    BeforeValue();
    m_strText += bValue ? "true" : "false";
}

void CJsonWriter::Null()
{
    BeforeValue();
    m_strText += "null";
}

void CJsonWriter::Print() const
{
    std::fwrite(m_strText.data(), 1, m_strText.size(), stdout);
    std::fputc('\n', stdout);
}
