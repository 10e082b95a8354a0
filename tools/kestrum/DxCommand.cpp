// dx: the installed DirectX release by the diagnostic provider, by the
// system files, and as the combined answer a setup program would use.
#include "tools/kestrum/Tool.h"

#include "util/sysinfo/DirectXDiagnostics.h"
#include "util/sysinfo/DirectXFiles.h"

namespace {

// One method's answer: text "9.0c" (or "none"); in JSON also its parts.
CRecord ReleaseRecord(bool bFound, int nMajor, int nMinor, char chLetter)
{
    CRecord release;
    release.Bool("found", bFound).JsonOnly();
    if (!bFound)
        return release.Null("text").ShownAs("none");
    CString strLetter = chLetter == ' ' || chLetter == '\0' ? CString() : CString(chLetter);
    CString strText;
    strText.Format("%d.%d%s", nMajor, nMinor, strLetter.GetString());
    return release.Number("major", static_cast<unsigned>(nMajor))
        .JsonOnly()
        .Number("minor", static_cast<unsigned>(nMinor))
        .JsonOnly()
        .Text("letter", strLetter)
        .JsonOnly()
        .Text("text", strText);
}

} // namespace

int RunDx(const CCommandLine&, CRecord& out)
{
    int nMajor = 0, nMinor = 0;
    char chLetter = ' ';
    bool bFound = DetectDirectXByDiagnostics(&nMajor, &nMinor, &chLetter) >= 0;
    out = CRecord(CRecord::Lines);
    out.Nested("provider", ReleaseRecord(bFound, nMajor, nMinor, chLetter));
    DetectDirectXByFiles(&nMajor, &nMinor, &chLetter);
    bFound = nMajor != 0 || nMinor != 0 || chLetter != ' ';
    out.Nested("files", ReleaseRecord(bFound, nMajor, nMinor, chLetter));

    int nNumber = 0;
    char szText[32] = "";
    QueryDirectXVersion(&nNumber, szText, sizeof(szText));
    CString strNumber;
    strNumber.Format("0x%08X", static_cast<unsigned>(nNumber));
    out.Nested("release", CRecord()
                              .Number("number", static_cast<unsigned>(nNumber))
                              .JsonOnly()
                              .Text("hex", strNumber)
                              .Text("text", szText));
    return ExitSuccess;
}
