// Uses the installed Kestrum utility library: takes a path apart and asks
// for the DirectX release, which pulls in the platform libraries the
// package's link interface must carry (version information, COM).
#include "util/path/PathUtil.h"
#include "util/sysinfo/DirectXDiagnostics.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "C:\\Program Files\\Kestrum\\Kestrum.ocx";
    std::printf("folder %s\n", GetFileDir(path).GetString());
    std::printf("name %s\n", GetFileName(path).GetString());
    std::printf("extension %s\n", GetFileExt(path).GetString());
    char szRelease[16] = "";
    QueryDirectXVersion(nullptr, szRelease, sizeof(szRelease));
    std::printf("directx %s\n", szRelease);
    return 0;
}
