// Owners for platform resources: each holds one resource, releases it
// exactly once, and says whether it holds one.
//
//   CHandle          a kernel object handle (null when none), CloseHandle
//   CFileHandle      an open file (INVALID_HANDLE_VALUE when none), CloseHandle
//   CFindHandle      a file search (INVALID_HANDLE_VALUE when none), FindClose
//   CMappedView      a mapped view of a file (null when none), UnmapViewOfFile
//   CKeyHandle       an open registry key (null when none), RegCloseKey
//   CHeapPtr<T>      a block from malloc (null when none), free
//   CBstrHandle      a BSTR (null when none), SysFreeString
//   CInterface<T>    one reference to a COM interface (null when none), Release
//   CVariant         a VARIANT (VT_EMPTY when none), VariantClear
//   CComApartment    the thread's CoInitialize (false when it failed),
//                    CoUninitialize
//
// Each holder starts with its type's "none" value, which is also what the
// platform call that makes the resource answers on failure, so a result goes
// straight in and the holder is asked:
//
//   CFileHandle hFile(CreateFileA(...));
//   if (!hFile)
//       return FALSE;                 // nothing to release
//
//   CKeyHandle hKey;
//   if (RegOpenKeyExA(hRoot, pszPath, 0, KEY_READ, hKey.Put()) != ERROR_SUCCESS)
//       return FALSE;
//
// Put() releases what is held before it hands out the slot, so a holder
// filled twice never leaks its first resource. Releasing keeps the thread's
// last-error value as it was: a failure path that releases its resources
// still reports its own reason.
//
// Holders move but never copy, so a resource always has one owner. A holder
// that goes away releases what it holds; declaring the holders of a chain in
// the order of acquisition (file, mapping, view) makes them release in the
// reverse order.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdlib>

// Traits name the stored Type, its None() value, whether a value Holds() a
// resource, and the platform call that releases it. Release returns
// ERROR_SUCCESS or the error the release failed with.
template <typename Traits>
class CHandleHolder
{
public:
    using Type = typename Traits::Type;

    CHandleHolder() noexcept : m_h(Traits::None()) {}
    explicit CHandleHolder(Type h) noexcept : m_h(h) {}
    ~CHandleHolder() { Close(); }

    CHandleHolder(CHandleHolder&& other) noexcept : m_h(other.Detach()) {}
    CHandleHolder& operator=(CHandleHolder&& other) noexcept
    {
        if (this != &other)
            Attach(other.Detach());
        return *this;
    }
    CHandleHolder(const CHandleHolder&) = delete;
    CHandleHolder& operator=(const CHandleHolder&) = delete;

    const Type& Get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return Traits::Holds(m_h); }

    // Releases what is held, then holds h.
    void Attach(Type h) noexcept
    {
        Close();
        m_h = h;
    }
    // Gives up ownership without releasing; the holder holds none after.
    Type Detach() noexcept
    {
        Type h = m_h;
        m_h = Traits::None();
        return h;
    }
    // For the out-parameter of a call that delivers a new resource: releases
    // what is held and returns the address of the emptied slot.
    Type* Put() noexcept
    {
        Close();
        return &m_h;
    }
    // Releases what is held (nothing when none) and holds none after.
    // Returns ERROR_SUCCESS, or the error the release failed with; the
    // thread's last-error value is left as it was either way.
    DWORD Close() noexcept
    {
        if (!Traits::Holds(m_h))
            return ERROR_SUCCESS;
        const DWORD dwLastError = GetLastError();
        const DWORD dwResult = Traits::Release(Detach());
        SetLastError(dwLastError);
        return dwResult;
    }

private:
    Type m_h;
};

// "None" policies shared by the traits below.
template <typename T>
struct CNullIsNone
{
    using Type = T;
    static T None() noexcept { return T(); }
    static bool Holds(T h) noexcept { return h != T(); }
};

struct CInvalidHandleIsNone
{
    using Type = HANDLE;
    static HANDLE None() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Holds(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE; }
};

inline DWORD ErrorUnless(BOOL bSucceeded) noexcept
{
    return bSucceeded ? ERROR_SUCCESS : GetLastError();
}

struct CKernelHandleTraits : CNullIsNone<HANDLE>
{
    static DWORD Release(HANDLE h) noexcept { return ErrorUnless(CloseHandle(h)); }
};

struct CFileHandleTraits : CInvalidHandleIsNone
{
    static DWORD Release(HANDLE h) noexcept { return ErrorUnless(CloseHandle(h)); }
};

struct CFindHandleTraits : CInvalidHandleIsNone
{
    static DWORD Release(HANDLE h) noexcept { return ErrorUnless(FindClose(h)); }
};

struct CMappedViewTraits : CNullIsNone<const BYTE*>
{
    static DWORD Release(const BYTE* p) noexcept { return ErrorUnless(UnmapViewOfFile(p)); }
};

struct CKeyHandleTraits : CNullIsNone<HKEY>
{
    static DWORD Release(HKEY h) noexcept { return static_cast<DWORD>(RegCloseKey(h)); }
};

template <typename T>
struct CHeapTraits : CNullIsNone<T*>
{
    static DWORD Release(T* p) noexcept
    {
        std::free(p);
        return ERROR_SUCCESS;
    }
};

struct CBstrTraits : CNullIsNone<BSTR>
{
    static DWORD Release(BSTR bstr) noexcept
    {
        SysFreeString(bstr);
        return ERROR_SUCCESS;
    }
};

template <typename T>
struct CInterfaceTraits : CNullIsNone<T*>
{
    static DWORD Release(T* p) noexcept
    {
        p->Release();
        return ERROR_SUCCESS;
    }
};

struct CVariantTraits
{
    using Type = VARIANT;
    static VARIANT None() noexcept
    {
        VARIANT var = {};
        VariantInit(&var);
        return var;
    }
    static bool Holds(const VARIANT& var) noexcept { return var.vt != VT_EMPTY; }
    static DWORD Release(VARIANT var) noexcept
    {
        VariantClear(&var);
        return ERROR_SUCCESS;
    }
};

// Holds true while the thread's CoInitialize is to be balanced: S_OK and
// S_FALSE both oblige a CoUninitialize, a failure (another apartment) none.
struct CComApartmentTraits : CNullIsNone<bool>
{
    static DWORD Release(bool) noexcept
    {
        CoUninitialize();
        return ERROR_SUCCESS;
    }
};

using CHandle = CHandleHolder<CKernelHandleTraits>;
using CFileHandle = CHandleHolder<CFileHandleTraits>;
using CFindHandle = CHandleHolder<CFindHandleTraits>;
using CMappedView = CHandleHolder<CMappedViewTraits>;
using CKeyHandle = CHandleHolder<CKeyHandleTraits>;
template <typename T>
using CHeapPtr = CHandleHolder<CHeapTraits<T>>;
using CBstrHandle = CHandleHolder<CBstrTraits>;
template <typename T>
using CInterface = CHandleHolder<CInterfaceTraits<T>>;
using CVariant = CHandleHolder<CVariantTraits>;
using CComApartment = CHandleHolder<CComApartmentTraits>;
