// The one writer of the tool's output: a record as text or as JSON.
#include "tools/kestrum/Record.h"

#include "framework/CodePage.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>

namespace {

void AppendUnitEscape(std::string& strOut, wchar_t ch)
{
    char szEscape[8];
    std::snprintf(szEscape, sizeof(szEscape), "\\u%04x", static_cast<unsigned>(ch));
    strOut += szEscape;
}

std::string JsonQuoteWide(const std::wstring& wide)
{
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
                out += static_cast<char>(ch);
            else
                AppendUnitEscape(out, ch);
            break;
        }
    }
    out += '"';
    return out;
}

} // namespace

CString TextOfFileName(const std::wstring& wide)
{
    CString strOut;
    for (size_t i = 0; i < wide.size();)
    {
        int nUnits = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
        CString strChar;
        if (AfxToCodePageExactly(&wide[i], nUnits, strChar))
        {
            strOut += EscapeText(strChar);
        }
        else
        {
            for (int j = 0; j < nUnits; ++j)
            {
                std::string strEscape;
                AppendUnitEscape(strEscape, wide[i + j]);
                strOut += strEscape.c_str();
            }
        }
        i += nUnits;
    }
    return strOut;
}

namespace {

void PrintLine(const std::vector<CString>& values)
{
    CString strLine;
    for (size_t i = 0; i < values.size(); ++i)
        strLine += (i > 0 ? "\t" : "") + values[i];
    WriteText(stdout, strLine + "\n", true);
}

// A console shows UTF-16, not the code page's bytes. Text that goes to
// one has its \uXXXX marks turned back into the characters they stand for:
// a "\" of the text itself is always doubled, so a mark cannot be mistaken.
std::wstring ForConsole(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    auto hex = [](wchar_t ch) { return ch <= L'9' ? ch - L'0' : (ch | 0x20) - L'a' + 10; };
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'\\')
        {
            out += L"\\\\";
            ++i;
        }
        else if (text[i] == L'\\' && i + 5 < text.size() && text[i + 1] == L'u' &&
                 std::all_of(&text[i + 2], &text[i + 6], [](wchar_t ch) { return iswxdigit(ch) != 0; }))
        {
            out += static_cast<wchar_t>(hex(text[i + 2]) << 12 | hex(text[i + 3]) << 8 | hex(text[i + 4]) << 4 |
                                        hex(text[i + 5]));
            i += 5;
        }
        else
        {
            out += text[i];
        }
    }
    return out;
}

} // namespace

CString EscapeText(const CString& str)
{
    const CCodePageInfo& cp = AfxGetCodePageInfo();
    CString strOut;
    const char* p = str.GetString();
    const char* pEnd = p + str.GetLength();
    while (p < pEnd)
    {
        unsigned char ch = static_cast<unsigned char>(*p);
        // A double-byte character stays whole: its trail byte may be "\".
        if (AfxIsLeadByte(cp, *p) && p + 1 < pEnd)
        {
            strOut += CString(p, 2);
            p += 2;
            continue;
        }
        switch (ch)
        {
        case '\\': strOut += "\\\\"; break;
        case '\t': strOut += "\\t"; break;
        case '\n': strOut += "\\n"; break;
        case '\r': strOut += "\\r"; break;
        default:
            if (ch < 0x20 || ch == 0x7F)
            {
                CString strEscape;
                strEscape.Format("\\x%02X", ch);
                strOut += strEscape;
            }
            else
            {
                strOut += static_cast<char>(ch);
            }
            break;
        }
        ++p;
    }
    return strOut;
}

CString CRecord::CField::TextForm() const
{
    if (m_bShownAs)
        return EscapeText(m_strShown);
    switch (m_kind)
    {
    case KindText:
        return EscapeText(m_strValue);
    case KindFileName:
        return TextOfFileName(m_strWide);
    case KindNumber:
    {
        CString str;
        str.Format("%I64u", m_qwValue);
        return str;
    }
    case KindBool:
        return m_qwValue != 0 ? "true" : "false";
    default:
        return CString();
    }
}

CRecord& CRecord::Text(const char* pszName, const CString& strValue)
{
    m_fields.emplace_back();
    m_fields.back().m_strName = pszName != nullptr ? pszName : "";
    m_fields.back().m_kind = CField::KindText;
    m_fields.back().m_strValue = strValue;
    return *this;
}

CRecord& CRecord::FileName(const char* pszName, const std::wstring& strName)
{
    Text(pszName, CString());
    m_fields.back().m_kind = CField::KindFileName;
    m_fields.back().m_strWide = strName;
    return *this;
}

CRecord& CRecord::Number(const char* pszName, unsigned long long qwValue)
{
    Text(pszName, CString());
    m_fields.back().m_kind = CField::KindNumber;
    m_fields.back().m_qwValue = qwValue;
    return *this;
}

CRecord& CRecord::Bool(const char* pszName, bool bValue)
{
    Number(pszName, bValue ? 1 : 0);
    m_fields.back().m_kind = CField::KindBool;
    return *this;
}

CRecord& CRecord::Null(const char* pszName)
{
    Text(pszName, CString());
    m_fields.back().m_kind = CField::KindNull;
    return *this;
}

CRecord& CRecord::Nested(const char* pszName, CRecord record)
{
    Text(pszName, CString());
    m_fields.back().m_kind = CField::KindRecord;
    m_fields.back().m_nested.push_back(std::move(record));
    return *this;
}

CRecord& CRecord::JsonOnly()
{
    m_fields.back().m_bInText = false;
    return *this;
}

CRecord& CRecord::ShownAs(const CString& strText)
{
    m_fields.back().m_bShownAs = true;
    m_fields.back().m_strShown = strText;
    return *this;
}

void CRecord::AppendJson(std::string& strOut) const
{
    bool bArray = m_layout == List;
    strOut += bArray ? '[' : '{';
    bool bFirst = true;
    for (const CField& field : m_fields)
    {
        if (!bFirst)
            strOut += ',';
        bFirst = false;
        if (!bArray)
        {
            strOut += JsonQuoteWide(AfxFromCodePage(field.m_strName.c_str()));
            strOut += ':';
        }
        switch (field.m_kind)
        {
        case CField::KindText: strOut += JsonQuoteWide(AfxFromCodePage(field.m_strValue)); break;
        case CField::KindFileName: strOut += JsonQuoteWide(field.m_strWide); break;
        case CField::KindNumber: strOut += std::to_string(field.m_qwValue); break;
        case CField::KindBool: strOut += field.m_qwValue != 0 ? "true" : "false"; break;
        case CField::KindNull: strOut += "null"; break;
        case CField::KindRecord: field.m_nested[0].AppendJson(strOut); break;
        }
    }
    strOut += bArray ? ']' : '}';
}

void CRecord::AppendLineValues(std::vector<CString>& values) const
{
    for (const CField& field : m_fields)
    {
        if (!field.m_bInText || (field.m_kind == CField::KindNull && !field.m_bShownAs))
            continue;
        if (field.m_kind == CField::KindRecord && !field.m_bShownAs)
            field.m_nested[0].AppendLineValues(values);
        else
            values.push_back(field.TextForm());
    }
}

void CRecord::PrintLines() const
{
    if (m_layout == Line)
    {
        std::vector<CString> values;
        AppendLineValues(values);
        if (!values.empty())
            PrintLine(values);
        return;
    }
    for (const CField& field : m_fields)
    {
        if (!field.m_bInText || (field.m_kind == CField::KindNull && !field.m_bShownAs))
            continue;
        std::vector<CString> values;
        if (m_layout == Lines)
            values.push_back(field.m_strName.c_str());
        if (field.m_kind == CField::KindRecord && !field.m_bShownAs)
        {
            const CRecord& nested = field.m_nested[0];
            if (nested.m_layout != Line)
            {
                nested.PrintLines();
                continue;
            }
            nested.AppendLineValues(values);
        }
        else
        {
            values.push_back(field.TextForm());
        }
        PrintLine(values);
    }
}

void WriteText(FILE* pStream, const CString& strText, bool bText)
{
    HANDLE hStream = GetStdHandle(pStream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD dwMode = 0;
    if (!GetConsoleMode(hStream, &dwMode))
    {
        std::fwrite(strText.GetString(), 1, strText.GetLength(), pStream);
        return;
    }
    std::fflush(pStream);
    std::wstring wide = AfxFromCodePage(strText);
    if (bText)
        wide = ForConsole(wide);
    // A console takes a limited amount in one call.
    for (size_t nDone = 0; nDone < wide.size();)
    {
        DWORD dwWritten = 0;
        DWORD dwUnits = static_cast<DWORD>(std::min<size_t>(wide.size() - nDone, 8192));
        if (!WriteConsoleW(hStream, wide.data() + nDone, dwUnits, &dwWritten, nullptr) || dwWritten == 0)
            break;
        nDone += dwWritten;
    }
}

void CRecord::Print(bool bJson) const
{
    if (bJson)
    {
        std::string strJson;
        AppendJson(strJson);
        WriteText(stdout, CString(strJson.c_str()) + "\n", false);
    }
    else
    {
        PrintLines();
    }
}
