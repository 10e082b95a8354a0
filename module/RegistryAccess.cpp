#include "module/RegistryAccess.h"

namespace {

// Added to every access mask: the flag that picks a view, none for the
// caller's own.
REGSAM ViewFlag(RegistryView view) noexcept
{
    switch (view)
    {
    case RegistryView::Bits32: return KEY_WOW64_32KEY;
    case RegistryView::Bits64: return KEY_WOW64_64KEY;
    default: return 0;
    }
}

} // namespace

int GetViewBits(RegistryView view) noexcept
{
    switch (view)
    {
    case RegistryView::Bits32: return 32;
    case RegistryView::Bits64: return 64;
    default: return sizeof(void*) == 8 ? 64 : 32;
    }
}

bool HasRegistryView(RegistryView view) noexcept
{
    if (view != RegistryView::Bits64 || GetViewBits(RegistryView::Own) == 64)
        return true;
    BOOL bWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &bWow64) && bWow64;
}

LONG OpenRegKey(HKEY hRoot, const char* pszPath, REGSAM samRights, RegistryView view, CKeyHandle& hKey)
{
    return RegOpenKeyExA(hRoot, pszPath, 0, samRights | ViewFlag(view), hKey.Put());
}

LONG CreateRegKey(HKEY hRoot, const char* pszPath, REGSAM samRights, RegistryView view, CKeyHandle& hKey)
{
    // Whether the key was created or opened is not asked for.
    DWORD dwDisposition = 0;
    return RegCreateKeyExA(hRoot, pszPath, 0, nullptr, REG_OPTION_NON_VOLATILE, samRights | ViewFlag(view), nullptr,
                           hKey.Put(), &dwDisposition);
}

LONG CountRegKey(const CKeyHandle& hKey, DWORD& dwSubKeys, DWORD& dwValues)
{
    return RegQueryInfoKeyA(hKey.Get(), nullptr, nullptr, nullptr, &dwSubKeys, nullptr, nullptr, &dwValues, nullptr,
                            nullptr, nullptr, nullptr);
}

LONG SetRegString(const CKeyHandle& hKey, const char* pszName, const char* pchData, DWORD cbData)
{
    return RegSetValueExA(hKey.Get(), pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pchData), cbData);
}

LONG DeleteRegValue(const CKeyHandle& hKey, const char* pszName)
{
    return RegDeleteValueA(hKey.Get(), pszName);
}

LONG DeleteRegKey(HKEY hRoot, const char* pszPath, RegistryView view)
{
    return RegDeleteKeyExA(hRoot, pszPath, ViewFlag(view), 0);
}

LONG FlushRegKey(const CKeyHandle& hKey)
{
    return RegFlushKey(hKey.Get());
}
