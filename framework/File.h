// CFile: the framework's file object, as far as the library needs it.
//
// Opens an existing file with the access and sharing its flags ask for, tells
// its 64-bit length and closes it. Open reports failure by returning FALSE;
// once a file is open, a failed query or close raises CFileException.
//
//   CFile file;
//   if (file.Open("C:\\data\\big.bin", CFile::modeRead | CFile::shareDenyNone))   // flags 0x40
//       ULONGLONG qwLength = file.GetLength();    // 5000000000 stays 5000000000
//
// Names of 260 characters or more are refused without a platform call.
#pragma once

#include "framework/Exceptions.h"
#include "framework/Handle.h"

#include <windows.h>

class CFile
{
public:
    enum OpenFlags : UINT
    {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
    };

    CFile() noexcept = default;
    ~CFile() = default;   // an open file is closed, any error ignored
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens an existing file with normal attributes. The low two bits of
    // nOpenFlags choose the access (read, write, both), bits 4 to 6 the
    // sharing: shareDenyNone lets others read and write, shareDenyWrite lets
    // them read, shareDenyRead lets them write, shareExclusive (and
    // shareCompat) lets them do neither. Any other bit, a null name, a name of
    // 260 characters or more, an object that is already open, or a platform
    // failure (missing file, a folder, no access, a sharing conflict) gives
    // FALSE and leaves the object closed. pError, when given, receives why in
    // m_lOsError: 0 on success, the platform's code on its failure,
    // ERROR_FILENAME_EXCED_RANGE for a name too long, ERROR_INVALID_PARAMETER
    // for a null name or other bits, ERROR_ALREADY_EXISTS for an open object.
    BOOL Open(const char* pszFileName, UINT nOpenFlags, CFileException* pError = nullptr);

    // The length in bytes; raises CFileException when the platform cannot
    // tell it or no file is open.
    ULONGLONG GetLength() const;

    // Closes the file; nothing happens when none is open. Raises
    // CFileException when the platform fails to close it (the handle is
    // given up all the same).
    void Close();

private:
    CFileHandle m_hFile;   // none while no file is open
};
