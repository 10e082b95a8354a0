// kestrum.exe: the output of a command as one record, and the one writer
// that prints it as text or as JSON.
//
// A record is a list of named fields in order; a field holds a text, a
// number, a truth value, null, or a nested record. The record's layout says
// how it reads as text:
//
//   Line     every field on one line, tab-separated (a nested record's
//            fields inline)
//   Lines    a line per field: NAME<TAB>VALUE for a text, a number or a
//            nested Line record (NAME<TAB>V1<TAB>V2...); a nested Lines or
//            List record adds its own lines, without NAME
//   List     a line per field, without names
//
// In JSON a Line or Lines record is an object, a List an array (names
// ignored). Null fields are left out of text. A field can be kept out of
// text, and can show another text there:
//
//   CRecord(CRecord::Line).Text("checksum", "0x07").Text("file", "a.bin")
//     text:  0x07<TAB>a.bin
//     JSON:  {"checksum":"0x07","file":"a.bin"}
//
// Text output is in the active code page. Tab, line breaks, backslash and
// other control bytes in a value are escaped as \t, \n, \r, \\ and \xHH,
// so a record is always one line and its field count is fixed; a file name
// with characters outside the code page shows each of them as \uXXXX (its
// UTF-16 units). That is what a file or a pipe receives; a console is
// written in UTF-16, where those characters show as themselves. JSON is
// UTF-8 in its plain ASCII form: every character outside printable ASCII
// is a \uXXXX escape, and a file name carries its exact characters.
#pragma once

#include "framework/CodePage.h"
#include "framework/String.h"

#include <cstdio>
#include <string>
#include <vector>

class CRecord
{
public:
    enum Layout
    {
        Line,
        Lines,
        List,
    };

    explicit CRecord(Layout layout = Line) : m_layout(layout) {}

    CRecord& Text(const char* pszName, const CString& strValue);
    // A file name as the platform reports it, in UTF-16.
    CRecord& FileName(const char* pszName, const std::wstring& strName);
    CRecord& Number(const char* pszName, unsigned long long qwValue);
    CRecord& Bool(const char* pszName, bool bValue);
    CRecord& Null(const char* pszName);
    CRecord& Nested(const char* pszName, CRecord record);

    // These change the field added last.
    CRecord& JsonOnly();
    CRecord& ShownAs(const CString& strText);

    Layout GetLayout() const noexcept { return m_layout; }

    // Writes the record and a line end to standard output: as text, or as
    // one line of JSON.
    void Print(bool bJson) const;

private:
    struct CField;

    void AppendJson(std::string& strOut) const;
    void AppendLineValues(std::vector<CString>& values) const;
    void PrintLines() const;

    Layout m_layout;
    std::vector<CField> m_fields;
};

struct CRecord::CField
{
    enum Kind
    {
        KindText,
        KindFileName,
        KindNumber,
        KindBool,
        KindNull,
        KindRecord,
    };

    std::string m_strName;
    Kind m_kind = KindNull;
    CString m_strValue;              // KindText
    std::wstring m_strWide;          // KindFileName
    unsigned long long m_qwValue = 0;  // KindNumber, KindBool
    std::vector<CRecord> m_nested;   // KindRecord: one record
    bool m_bInText = true;
    bool m_bShownAs = false;
    CString m_strShown;              // the text output's form, with m_bShownAs

    // The field's text form, escaped.
    CString TextForm() const;
};

// str escaped for text output as the header describes.
CString EscapeText(const CString& str);

// A UTF-16 file name as text output shows it: escaped, each character
// that the active code page cannot spell as \uXXXX.
CString TextOfFileName(const std::wstring& strName);

// Writes text in the code page to standard output or standard error: its
// bytes to a file or a pipe, UTF-16 to a console. bText: the text output's
// form, whose \uXXXX marks a console shows as the characters themselves.
void WriteText(FILE* pStream, const CString& strText, bool bText);
