// Owners for platform handles: each holds one handle, releases it exactly
// once, and reads null when it holds nothing.
//
//   CHandle      a kernel object handle, released with CloseHandle
//   CFindHandle  a file search, released with FindClose
//   CMappedView  a mapped view of a file, released with UnmapViewOfFile
//   CKeyHandle   an open registry key, released with RegCloseKey
//
// Handles are taken only after the platform call has succeeded, so a failure
// value (null or INVALID_HANDLE_VALUE) is never stored:
//
//   HANDLE h = CreateFileA(...);
//   if (h == INVALID_HANDLE_VALUE)
//       return FALSE;                 // the holder stays null
//   hFile.Attach(h);
//
// Holders move but never copy, so a handle always has one owner. A holder
// that goes away releases what it holds; declaring the holders of a chain in
// the order of acquisition (file, mapping, view) makes them release in the
// reverse order.
#pragma once

#include <windows.h>

#include <utility>

// Shared machinery: Traits names the stored type, the "none" value and the
// platform release call.
template <typename Traits>
class CHandleHolder
{
public:
    using Type = typename Traits::Type;

    CHandleHolder() noexcept = default;
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

    Type Get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != Type(); }

    // Releases what is held, then holds h.
    void Attach(Type h) noexcept
    {
        Close();
        m_h = h;
    }
    // Gives up ownership without releasing; the holder reads null after.
    Type Detach() noexcept { return std::exchange(m_h, Type()); }
    // Releases what is held (nothing when null) and reads null after.
    // Returns the release call's result, TRUE when nothing was held.
    BOOL Close() noexcept
    {
        if (m_h == Type())
            return TRUE;
        return Traits::Release(std::exchange(m_h, Type()));
    }

private:
    Type m_h = Type();
};

struct CKernelHandleTraits
{
    using Type = HANDLE;
    static BOOL Release(HANDLE h) noexcept { return CloseHandle(h); }
};

struct CFindHandleTraits
{
    using Type = HANDLE;
    static BOOL Release(HANDLE h) noexcept { return FindClose(h); }
};

struct CMappedViewTraits
{
    using Type = const BYTE*;
    static BOOL Release(const BYTE* p) noexcept { return UnmapViewOfFile(p); }
};

struct CKeyHandleTraits
{
    using Type = HKEY;
    static BOOL Release(HKEY h) noexcept { return RegCloseKey(h) == ERROR_SUCCESS; }
};

using CHandle = CHandleHolder<CKernelHandleTraits>;
using CFindHandle = CHandleHolder<CFindHandleTraits>;
using CMappedView = CHandleHolder<CMappedViewTraits>;
using CKeyHandle = CHandleHolder<CKeyHandleTraits>;
