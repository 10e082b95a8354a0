// The files register writes: one render function per format, and the table
// of them.
#include "tools/kestrum/RegistrationFormats.h"

#include "framework/Handle.h"

namespace {

// The registry script: a "Windows Registry Editor Version 5.00" file in
// UTF-16 with a byte-order mark, as regedit exports and imports it and
// the registry harvesters of installer tools read it.
std::string RenderRegistryScript(const CFormatInput& input, std::vector<CString>&)
{
    auto quote = [](const CString& str) {
        std::wstring out = L"\"";
        for (wchar_t ch : ToWide(str))
        {
            if (ch == L'\\' || ch == L'"')
                out += L'\\';
            out += ch;
        }
        return out + L"\"";
    };
    std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n";
    std::wstring strLastKey;
    for (size_t i = 0; i < input.m_plan.m_entries.size(); ++i)
    {
        if (!input.m_include[i])
            continue;
        const CRegistrationEntry& entry = input.m_plan.m_entries[i];
        std::wstring strKey = ToWide(RootName(entry.m_hRoot)) + L"\\" + ToWide(entry.m_strKey);
        if (strKey != strLastKey)
            text += L"\r\n[" + strKey + L"]\r\n";
        strLastKey = strKey;
        text += (entry.m_strName.IsEmpty() ? std::wstring(L"@") : quote(entry.m_strName)) + L"=" +
                quote(entry.m_strData) + L"\r\n";
    }
    text += L"\r\n";
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

} // namespace

const std::vector<CRegistrationFormat>& GetRegistrationFormats()
{
    static const std::vector<CRegistrationFormat> formats = {
        {"script", &CCommandLine::m_strScript, RenderRegistryScript},
    };
    return formats;
}

const char* RootName(HKEY hRoot)
{
    return hRoot == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

CString EntryPlace(const CRegistrationEntry& entry)
{
    return CString(RootName(entry.m_hRoot)) + "\\" + entry.m_strKey + ": " +
           (entry.m_strName.IsEmpty() ? CString("(default)") : entry.m_strName);
}

CString WriteWholeFile(const std::wstring& strFile, const std::string& bytes)
{
    CFileHandle hFile(
        CreateFileW(strFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile)
        return DescribeError(GetLastError());
    DWORD dwSize = static_cast<DWORD>(bytes.size());
    DWORD dwWritten = 0;
    if (!WriteFile(hFile.Get(), bytes.data(), dwSize, &dwWritten, nullptr) || dwWritten != dwSize)
        return DescribeError(GetLastError());
    DWORD dwError = hFile.Close();
    return dwError == ERROR_SUCCESS ? CString() : DescribeError(dwError);
}
