// Prints the installed DirectX release as QueryDirectXVersion reports it.
#include "util/sysinfo/DirectXDiagnostics.h"

#include <cstdio>

int main()
{
    int nNumber = 0;
    char szText[32];
    // Always answers: 0 and "0.0" where no release is recognised.
    QueryDirectXVersion(&nNumber, szText, sizeof(szText));
    std::printf("DirectX release: 0x%08X %s\n", static_cast<unsigned>(nNumber), szText);
    return 0;
}
