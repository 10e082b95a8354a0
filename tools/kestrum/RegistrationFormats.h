// kestrum.exe: the files register writes beside its listing, each a
// rendering of one registration plan that holds exactly the values
// registration writes (entries skipped or refused are left out).
//
//   --reg SCRIPT   a regedit script, "Windows Registry Editor Version 5.00",
//                  UTF-16 with a byte-order mark
//   --wxs FILE     a WiX source fragment (the v3 schema), UTF-8: component
//                  group KestrumRegistration, a component per root
//
// Adding a format is one render function and one row of the table in
// RegistrationFormats.cpp; the row declares the option that names its file.
#pragma once

#include "tools/kestrum/Tool.h"

#include "module/Registration.h"

#include <string>
#include <vector>

// What a format renders: a complete plan (its view included) and one flag
// per entry saying whether registration writes it.
struct CFormatInput
{
    const CRegistrationPlan& m_plan;
    const std::vector<bool>& m_include;
};

struct CRegistrationFormat
{
    const char* pszField;       // names the file in the output: "script", "fragment"
    COption option;             // the option that names the file
    // The file's bytes. An included entry the format cannot carry is left
    // out, and problems receives a line saying so.
    std::string (*pfnRender)(const CFormatInput& input, std::vector<CString>& problems);
};

// The formats, in the order register writes them.
const std::vector<CRegistrationFormat>& GetRegistrationFormats();

// Where an entry goes, for messages: "ROOT\KEY: NAME", the root by its long
// name, "(default)" for the default value.
CString EntryPlace(const CRegistrationEntry& entry);

// Replaces the file with the bytes given; "" or the platform's reason.
CString WriteWholeFile(const std::wstring& strFile, const std::string& bytes);
