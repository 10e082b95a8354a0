// dx: the installed DirectX release by the diagnostic provider, by the
// system files, and as the combined answer a setup program would use.
#include "tools/kestrum/Tool.h"

#include "util/sysinfo/DirectXDiagnostics.h"
#include "util/sysinfo/DirectXFiles.h"

namespace {

struct CRelease
{
    bool bFound = false;
    int nMajor = 0;
    int nMinor = 0;
    char chLetter = ' ';

    CString Text() const
    {
        CString str;
        str.Format("%d.%d", nMajor, nMinor);
        if (chLetter != ' ' && chLetter != '\0')
            str += chLetter;
        return str;
    }
};

void WriteJson(CJsonWriter& json, const char* pszName, const CRelease& release)
{
    json.Key(pszName);
    json.BeginObject();
    json.Key("found");
    json.Bool(release.bFound);
    if (release.bFound)
    {
        json.Key("major");
        json.Number(static_cast<unsigned>(release.nMajor));
        json.Key("minor");
        json.Number(static_cast<unsigned>(release.nMinor));
        json.Key("letter");
        json.String(release.chLetter == ' ' || release.chLetter == '\0' ? CString() : CString(release.chLetter));
        json.Key("text");
        json.String(release.Text());
    }
    json.EndObject();
}

} // namespace

int RunDx(const CCommandLine& cmd)
{
    CRelease provider;
    provider.bFound = DetectDirectXByDiagnostics(&provider.nMajor, &provider.nMinor, &provider.chLetter) >= 0;
    CRelease files;
    DetectDirectXByFiles(&files.nMajor, &files.nMinor, &files.chLetter);
    files.bFound = files.nMajor != 0 || files.nMinor != 0 || files.chLetter != ' ';

    int nNumber = 0;
    char szText[32] = "";
    QueryDirectXVersion(&nNumber, szText, sizeof(szText));
    CString strNumber;
    strNumber.Format("0x%08X", static_cast<unsigned>(nNumber));

    if (cmd.m_bJson)
    {
        CJsonWriter json;
        json.BeginObject();
        WriteJson(json, "provider", provider);
        WriteJson(json, "files", files);
        json.Key("release");
        json.BeginObject();
        json.Key("number");
        json.Number(static_cast<unsigned>(nNumber));
        json.Key("hex");
        json.String(strNumber);
        json.Key("text");
        json.String(szText);
        json.EndObject();
        json.EndObject();
        json.Print();
    }
    else
    {
        PrintRecord({"provider", provider.bFound ? provider.Text() : CString("none")});
        PrintRecord({"files", files.bFound ? files.Text() : CString("none")});
        PrintRecord({"release", strNumber, szText});
    }
    return ExitSuccess;
}
