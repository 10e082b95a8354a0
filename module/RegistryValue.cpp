// Reading a value, the one part of the registry door that needs the
// standard library's strings: a file of its own, so that the module, which
// reads no value, does not carry them.
#include "module/RegistryAccess.h"

#include "framework/CodePage.h"

LONG ReadRegValue(const CKeyHandle& hKey, const char* pszName, CRegValue& value)
{
    const std::wstring strName = AfxFromCodePage(pszName, lstrlenA(pszName));
    DWORD dwSize = 0;
    LONG lStatus = RegQueryValueExW(hKey.Get(), strName.c_str(), nullptr, &value.m_dwType, nullptr, &dwSize);
    // A value that grows between two calls is asked for again. An odd byte
    // at the end goes into a unit of its own, dropped after.
    while (lStatus == ERROR_SUCCESS || lStatus == ERROR_MORE_DATA)
    {
        value.m_strData.assign((dwSize + 1) / sizeof(wchar_t), L'\0');
        lStatus = RegQueryValueExW(hKey.Get(), strName.c_str(), nullptr, &value.m_dwType,
                                   reinterpret_cast<BYTE*>(&value.m_strData[0]), &dwSize);
        if (lStatus == ERROR_SUCCESS)
            break;
    }
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    value.m_strData.resize(dwSize / sizeof(wchar_t));
    value.m_bOddSize = dwSize % sizeof(wchar_t) != 0;
    return ERROR_SUCCESS;
}
