// Uses the installed Kestrum utility library: takes a path apart.
#include "util/path/PathUtil.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "C:\\Program Files\\Kestrum\\Kestrum.ocx";
    std::printf("folder %s\n", GetFileDir(path).GetString());
    std::printf("name %s\n", GetFileName(path).GetString());
    std::printf("extension %s\n", GetFileExt(path).GetString());
    return 0;
}
