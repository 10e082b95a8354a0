// Small 32-bit DLL images made at test time, each carrying a version
// resource of the test's choosing, so version reading is tested against
// real files the platform parses itself.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// a.b.c.d as a packed module version, worked out without the library.
inline ULONGLONG V(DWORD a, DWORD b, DWORD c, DWORD d)
{
    return (ULONGLONG(a) << 48) | (ULONGLONG(b) << 32) | (ULONGLONG(c) << 16) | d;
}

// A VS_VERSIONINFO block with the given file version (and a different
// product version, so a mix-up shows) and no children.
std::string VersionBlock(ULONGLONG qwFileVersion);

// A DLL image whose only resource is an RT_VERSION entry holding the given
// bytes, which need not be a sound block.
std::string ImageWithVersionResource(const std::string& block);

// A DLL image with the version block of VersionBlock(qwFileVersion).
std::string VersionImage(ULONGLONG qwFileVersion);

// A DLL image without any resource.
std::string ImageWithoutResources();

} // namespace testing_support
