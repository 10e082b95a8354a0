// The files register writes: one render function per format, and the table
// of them.
#include "tools/kestrum/RegistrationFormats.h"

#include "framework/CodePage.h"
#include "framework/Handle.h"

#include <algorithm>
#include <array>

namespace {

// The registry script: a "Windows Registry Editor Version 5.00" file in
// UTF-16 with a byte-order mark, as regedit exports and imports it and
// the registry harvesters of installer tools read it.
std::string RenderRegistryScript(const CFormatInput& input, std::vector<CString>&)
{
    auto quote = [](const CString& str) {
        std::wstring out = L"\"";
        for (wchar_t ch : AfxFromCodePage(str))
        {
            if (ch == L'\\' || ch == L'"')
                out += L'\\';
            out += ch;
        }
        return out + L"\"";
    };
    std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n";
    std::wstring strLastKey;
    for (size_t i = 0; i < static_cast<size_t>(input.m_plan.m_nEntries); ++i)
    {
        if (!input.m_include[i])
            continue;
        const CRegistrationEntry& entry = input.m_plan.m_entries[i];
        std::wstring strKey = AfxFromCodePage(entry.m_pRoot->m_pszName) + L"\\" + AfxFromCodePage(entry.m_strKey);
        if (strKey != strLastKey)
            text += L"\r\n[" + strKey + L"]\r\n";
        strLastKey = strKey;
        text += (entry.m_strName.IsEmpty() ? std::wstring(L"@") : quote(entry.m_strName)) + L"=" +
                quote(entry.m_strData) + L"\r\n";
    }
    text += L"\r\n";
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// The WiX fragment's component GUIDs are name-based (RFC 4122, version 5:
// SHA-1) in this namespace of our own, BB74F75E-7155-4B32-A92E-AEB5628ECE09.
const BYTE kGuidNamespace[16] = {0xBB, 0x74, 0xF7, 0x5E, 0x71, 0x55, 0x4B, 0x32,
                                 0xA9, 0x2E, 0xAE, 0xB5, 0x62, 0x8E, 0xCE, 0x09};

DWORD RotateLeft(DWORD dw, int nBits)
{
    return (dw << nBits) | (dw >> (32 - nBits));
}

// SHA-1 (FIPS 180-4) of a byte string; "abc" gives A9993E36...9CD0D89D.
std::array<BYTE, 20> Sha1(std::string bytes)
{
    const unsigned long long qwBits = static_cast<unsigned long long>(bytes.size()) * 8;
    bytes += '\x80';
    while (bytes.size() % 64 != 56)
        bytes += '\0';
    for (int i = 7; i >= 0; --i)
        bytes += static_cast<char>(qwBits >> (i * 8));
    DWORD h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    static const DWORD k[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};
    for (size_t nBlock = 0; nBlock < bytes.size(); nBlock += 64)
    {
        const BYTE* p = reinterpret_cast<const BYTE*>(bytes.data()) + nBlock;
        DWORD w[80];
        for (int i = 0; i < 16; ++i)
            w[i] = DWORD(p[4 * i]) << 24 | DWORD(p[4 * i + 1]) << 16 | DWORD(p[4 * i + 2]) << 8 | p[4 * i + 3];
        for (int i = 16; i < 80; ++i)
            w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        DWORD a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i)
        {
            DWORD f = i < 20 ? (b & c) | (~b & d) : (i >= 40 && i < 60) ? (b & c) | (b & d) | (c & d) : b ^ c ^ d;
            DWORD t = RotateLeft(a, 5) + f + e + k[i / 20] + w[i];
            e = d;
            d = c;
            c = RotateLeft(b, 30);
            b = a;
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
    std::array<BYTE, 20> hash;
    for (int i = 0; i < 20; ++i)
        hash[i] = static_cast<BYTE>(h[i / 4] >> (24 - 8 * (i % 4)));
    return hash;
}

std::string ToUtf8(const std::wstring& str)
{
    const CString strUtf8 = AfxToCodePage(str.data(), static_cast<int>(str.size()), CP_UTF8);
    return std::string(strUtf8.GetString(), static_cast<size_t>(strUtf8.GetLength()));
}

// The GUID of the component that holds one root's values: name-based over
// the UTF-8 text "VIEW:ROOT\CLASSKEY" with ASCII letters in upper case
// (the root's long name), so that a later
// version of a package keeps it, and the 32-bit and 64-bit packages of a
// product have components of their own.
std::wstring ComponentGuid(int nView, const CRegistrationRoot& root, const CString& strClassKey)
{
    CString strName;
    strName.Format("%d:%s\\%s", nView, root.m_pszName, strClassKey.GetString());
    std::string bytes = ToUtf8(AfxFromCodePage(strName));
    for (char& ch : bytes)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    std::array<BYTE, 20> hash = Sha1(std::string(reinterpret_cast<const char*>(kGuidNamespace), 16) + bytes);
    hash[6] = static_cast<BYTE>((hash[6] & 0x0F) | 0x50);
    hash[8] = static_cast<BYTE>((hash[8] & 0x3F) | 0x80);
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring strGuid;
    for (int i = 0; i < 16; ++i)
    {
        strGuid += kDigits[hash[i] >> 4];
        strGuid += kDigits[hash[i] & 0x0F];
        if (i == 3 || i == 5 || i == 7 || i == 9)
            strGuid += L'-';
    }
    return strGuid;
}

// Text for a Formatted column of the Registry table, as a WiX attribute
// holds it. "[", "]", "{" and "}" become "[\[]" and so on, so that Windows
// Installer resolves no property, group or null ("[~]") in it. "$" becomes
// "[\$$]" and "!" before "(" "[\!]", so that no WiX preprocessor or binder
// variable appears: wixl drops a lone "$" and reads "$$" as "$", and
// whether a compiler keeps "$$" or not, the installer keeps just the
// character after "\". A leading "#" is left to the compiler, which doubles
// it for Type="string".
std::wstring FormattedText(const std::wstring& str)
{
    std::wstring out;
    for (size_t i = 0; i < str.size(); ++i)
    {
        wchar_t ch = str[i];
        if (ch == L'$')
            out += L"[\\$$]";
        else if (ch == L'[' || ch == L']' || ch == L'{' || ch == L'}' ||
                 (ch == L'!' && str.compare(i + 1, 1, L"(") == 0))
            out += std::wstring(L"[\\") + ch + L"]";
        else
            out += ch;
    }
    return out;
}

// Text as the value of an XML attribute in double quotes; false when XML
// 1.0 cannot carry one of its characters (a control character other than
// tab, line feed and carriage return).
bool AppendXmlAttribute(std::wstring& out, const std::wstring& str)
{
    for (wchar_t ch : str)
    {
        switch (ch)
        {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        case L'\t': out += L"&#9;"; break;
        case L'\n': out += L"&#10;"; break;
        case L'\r': out += L"&#13;"; break;
        default:
            if (ch < 0x20 || ch == 0xFFFE || ch == 0xFFFF)
                return false;
            out += ch;
        }
    }
    return true;
}

// One RegistryValue element; false when XML cannot carry the entry. The
// install path leaves its drive to the installer's WindowsVolume property
// ("C:\" for C:\WINDOWS), so the data is what DllRegisterServer joins on
// the machine where the package installs.
bool AppendRegistryValue(std::wstring& out, const CRegistrationPlan& plan, const CRegistrationEntry& entry,
                         bool bKeyPath)
{
    std::wstring strElement = L"        <RegistryValue Root=\"";
    strElement += AfxFromCodePage(entry.m_pRoot->m_pszShortName);
    strElement += L"\" Key=\"";
    bool bCarried = AppendXmlAttribute(strElement, FormattedText(AfxFromCodePage(entry.m_strKey)));
    if (!entry.m_strName.IsEmpty())
    {
        strElement += L"\" Name=\"";
        bCarried = AppendXmlAttribute(strElement, FormattedText(AfxFromCodePage(entry.m_strName))) && bCarried;
    }
    strElement += L"\" Type=\"string\" Value=\"";
    const std::wstring strData = entry.m_value == RegValueInstallPath
                                     ? L"[WindowsVolume]" + FormattedText(AfxFromCodePage(plan.m_strPath))
                                     : FormattedText(AfxFromCodePage(entry.m_strData));
    bCarried = AppendXmlAttribute(strElement, strData) && bCarried;
    strElement += bKeyPath ? L"\" KeyPath=\"yes\" />\r\n" : L"\" />\r\n";
    if (bCarried)
        out += strElement;
    return bCarried;
}

// The WiX fragment: the v3 schema that wixl and WiX 3 read, in UTF-8. One
// component group, KestrumRegistration, with a component per root whose
// key path is its first value.
std::string RenderWixFragment(const CFormatInput& input, std::vector<CString>& problems)
{
    const CRegistrationPlan& plan = input.m_plan;
    // A comment cannot hold "--".
    std::wstring strSource = plan.m_szRegDat;
    for (size_t n = strSource.find(L"--"); n != std::wstring::npos; n = strSource.find(L"--", n))
        strSource.insert(n + 1, 1, L' ');
    const int nView = GetViewBits(plan.m_view);
    const std::wstring strView = nView == 64 ? L"64" : L"32";
    std::wstring text = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                        L"<!-- What Kestrum.ocx registers for " + strSource + L"\r\n"
                        L"     (written by kestrum register): DllRegisterServer's values under both\r\n"
                        L"     roots, in the " + strView + L"-bit registry view, the install path on the drive\r\n"
                        L"     of the target's Windows folder. Use it with\r\n"
                        L"     <ComponentGroupRef Id=\"KestrumRegistration\" />. -->\r\n"
                        L"<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\r\n"
                        L"  <Fragment>\r\n"
                        L"    <ComponentGroup Id=\"KestrumRegistration\" Directory=\"TARGETDIR\">\r\n";
    for (const CRegistrationRoot& root : g_registrationRoots)
    {
        std::wstring strValues;
        for (size_t i = 0; i < static_cast<size_t>(plan.m_nEntries); ++i)
        {
            const CRegistrationEntry& entry = plan.m_entries[i];
            if (input.m_include[i] && entry.m_pRoot == &root &&
                !AppendRegistryValue(strValues, plan, entry, strValues.empty()))
                problems.push_back(EntryPlace(entry) +
                                   ": holds a control character that XML cannot carry: left out of the fragment");
        }
        if (strValues.empty())
            continue;
        const std::wstring strGuid = ComponentGuid(nView, root, plan.m_strClassKey);
        std::wstring strId = strGuid;
        strId.erase(std::remove(strId.begin(), strId.end(), L'-'), strId.end());
        text += L"      <Component Id=\"Kestrum" + AfxFromCodePage(root.m_pszShortName) + L"_" + strId + L"\" Guid=\"" +
                strGuid + L"\" Win64=\"" + (nView == 64 ? L"yes" : L"no") + L"\">\r\n" + strValues +
                L"      </Component>\r\n";
    }
    text += L"    </ComponentGroup>\r\n  </Fragment>\r\n</Wix>\r\n";
    return ToUtf8(text);
}

} // namespace

const std::vector<CRegistrationFormat>& GetRegistrationFormats()
{
    static const std::vector<CRegistrationFormat> formats = {
        {"script",
         {"--reg", "SCRIPT", "a file name", "also write the values to SCRIPT as a registry script (regedit's format)",
          nullptr},
         RenderRegistryScript},
        {"fragment",
         {"--wxs", "FILE", "a file name", "also write the values to FILE as a WiX source fragment", nullptr},
         RenderWixFragment},
    };
    return formats;
}

std::vector<COptionUse> GetFormatOptions()
{
    std::vector<COptionUse> options;
    for (const CRegistrationFormat& format : GetRegistrationFormats())
        options.push_back(&format.option);
    return options;
}

CString EntryPlace(const CRegistrationEntry& entry)
{
    return CString(entry.m_pRoot->m_pszName) + "\\" + entry.m_strKey + ": " +
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
