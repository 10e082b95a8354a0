// MappedFile: a whole file mapped read-only into memory, and the file's
// one-byte XOR checksum.
//
//   CMappedFile file;
//   if (const BYTE* p = file.Open("C:\\data\\a.bin"))
//       Use(p, file.GetSize());             // valid until Close or destruction
//
//   GetFileChecksum("C:\\data\\a.bin");     // bytes 01 02 04 give 0x07
#pragma once

#include "framework/Handle.h"
#include "framework/String.h"

#include <windows.h>

#include <cstddef>

// Owns one read-only view of a whole file and the file and mapping handles
// behind it. Closed (no view) after construction, Close and any failed Open;
// mapped after a successful Open. While mapped, the file is held open with
// shared reading only: others may read it but not open it for writing.
class CMappedFile
{
public:
    CMappedFile() noexcept;
    ~CMappedFile() = default;   // releases the view, the mapping and the file
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    // Maps the whole of strPath read-only and returns the view's first byte,
    // or null. On an object that is already mapped it returns null and
    // changes nothing (the first view stays valid). Otherwise the path is
    // remembered whether or not the attempt succeeds, and a failure leaves
    // no handle open. Fails for a missing file, a file another program holds
    // open for writing, an empty file (nothing to map), a file whose size
    // cannot be read, and a file the address space cannot hold in one view.
    const BYTE* Open(CString strPath);

    // The low 32 bits of the size read by the last Open that opened the file:
    // 4 GiB + 5 bytes gives 5. Meaningful while a view is mapped; 0 after
    // construction and Close.
    DWORD GetSize() const noexcept { return m_dwSize; }

    // The path given to the last Open; empty after construction and Close.
    const CString& GetPath() const noexcept { return m_strPath; }

    // Releases the view, the mapping and the file, in that order, zeroes the
    // size and empties the path. Safe at any time, any number of times.
    void Close() noexcept;

private:
    // In the order of acquisition, so destruction releases the view, the
    // mapping and the file, in that order.
    CFileHandle m_hFile;    // the file behind the view; none when closed
    CHandle m_hMapping;     // the mapping behind the view; null when closed
    CMappedView m_pView;    // first byte of the view; null when closed
    DWORD m_dwSize;         // low 32 bits of the file size
    CString m_strPath;      // path of the last Open
};

// The exclusive-or of every byte of the file at strPath, folded into one
// byte: one byte gives that byte, 01 02 04 give 0x07, FF FF give 0x00. 0 for
// a file that cannot be read this way: missing, empty, or held open for
// writing by another program. Any size works, 4 GiB and more included: the
// file is read once, through a window that slides along it, never copied.
//
// pdwError, when given, receives ERROR_SUCCESS (an empty file included) or
// the platform's reason the file could not be read this way: the file's
// open (ERROR_SHARING_VIOLATION while another program writes it), its
// mapping, or a view. pfnProgress, when given, is called with pContext
// after each window with the bytes read so far and the file's size.
using PFN_READ_PROGRESS = void (*)(ULONGLONG qwDone, ULONGLONG qwTotal, void* pContext);
BYTE GetFileChecksum(CString strPath, DWORD* pdwError = nullptr, PFN_READ_PROGRESS pfnProgress = nullptr,
                     void* pContext = nullptr);

// The exclusive-or of nCount bytes from pData (0 for none), 16 bytes a step.
// No alignment needed.
BYTE XorBytes(const BYTE* pData, size_t nCount) noexcept;
