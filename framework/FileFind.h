// CFileFind: the framework's file-find object, as far as the library needs it.
//
// A search for one name or wildcard pattern, held open until the next
// FindFile, Close or destruction:
//
//   CFileFind finder;
//   if (finder.FindFile("C:\\data\\*.txt"))              // first match found
//       do
//           Use(finder.GetFindData().cFileName);         // bare name: "a.txt"
//       while (finder.FindNextFile());
//
// A file and a folder both count as found; "C:\\data" finds the folder itself.
#pragma once

#include "framework/Handle.h"

#include <windows.h>

class CFileFind
{
public:
    CFileFind() noexcept;
    ~CFileFind() = default;   // the search ends with the object
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Ends any earlier search, then searches for exactly pszName (no "/"
    // conversion). TRUE when an entry matches; its data is then current.
    // A null name or a name of 260 characters or more gives FALSE at once,
    // without searching.
    BOOL FindFile(const char* pszName);

    // Moves on to the next match of the current search; FALSE when there is
    // none (or no search), and the data of the last match stays current.
    // FindNextFile is also a Win32 macro (FindNextFileA or FindNextFileW):
    // the member is declared with the macro held back, and a call renamed
    // by the macro reaches it under either name.
#pragma push_macro("FindNextFile")
#undef FindNextFile
    BOOL FindNextFile();
    BOOL FindNextFileA() { return FindNextFile(); }
    BOOL FindNextFileW() { return FindNextFile(); }
#pragma pop_macro("FindNextFile")

    // The current match: bare name, attributes, times in universal time.
    // All zero before the first match.
    const WIN32_FIND_DATAA& GetFindData() const noexcept { return m_data; }

    void Close() noexcept;

private:
    CFindHandle m_hSearch;   // none while no search is open
    WIN32_FIND_DATAA m_data;
};
