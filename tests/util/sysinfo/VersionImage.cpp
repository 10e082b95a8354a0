#include "tests/util/sysinfo/VersionImage.h"

#include <cstring>

namespace testing_support {

namespace {

const DWORD kFileAlignment = 0x200;
const DWORD kSectionAlignment = 0x1000;
const DWORD kResourceRva = 0x1000;

DWORD AlignUp(DWORD value, DWORD alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

template <typename T>
void Put(std::string& bytes, size_t offset, const T& value)
{
    if (bytes.size() < offset + sizeof(T))
        bytes.resize(offset + sizeof(T));
    std::memcpy(&bytes[offset], &value, sizeof(T));
}

void PutWord(std::string& bytes, size_t offset, WORD value)
{
    Put(bytes, offset, value);
}

// The .rsrc section: type 16 (RT_VERSION), name 1, language 0x409, then the
// data entry and the data.
std::string ResourceSection(const std::string& block)
{
    std::string section;
    DWORD offset = 0;
    const DWORD children[] = {16, 1, 0x409};
    for (int level = 0; level < 3; ++level)
    {
        IMAGE_RESOURCE_DIRECTORY dir = {};
        dir.NumberOfIdEntries = 1;
        Put(section, offset, dir);
        IMAGE_RESOURCE_DIRECTORY_ENTRY entry = {};
        entry.Name = children[level];
        const DWORD next = offset + sizeof(dir) + sizeof(entry);
        // Directories below carry the high bit; the last entry names the data entry.
        entry.OffsetToData = level < 2 ? (0x80000000u | next) : next;
        Put(section, offset + sizeof(dir), entry);
        offset = next;
    }
    IMAGE_RESOURCE_DATA_ENTRY data = {};
    const DWORD dataOffset = offset + sizeof(data);
    data.OffsetToData = kResourceRva + dataOffset;
    data.Size = static_cast<DWORD>(block.size());
    Put(section, offset, data);
    section.resize(dataOffset);
    section += block;
    return section;
}

// Headers for one section (or none), padded to the file alignment.
std::string Image(const std::string& section)
{
    std::string image;
    IMAGE_DOS_HEADER dos = {};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = sizeof(dos);
    Put(image, 0, dos);

    IMAGE_NT_HEADERS32 nt = {};
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.FileHeader.Machine = IMAGE_FILE_MACHINE_I386;
    nt.FileHeader.NumberOfSections = section.empty() ? 0 : 1;
    nt.FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER32);
    nt.FileHeader.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_32BIT_MACHINE | IMAGE_FILE_DLL;
    IMAGE_OPTIONAL_HEADER32& opt = nt.OptionalHeader;
    opt.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    opt.ImageBase = 0x10000000;
    opt.SectionAlignment = kSectionAlignment;
    opt.FileAlignment = kFileAlignment;
    opt.MajorOperatingSystemVersion = 4;
    opt.MajorSubsystemVersion = 4;
    opt.SizeOfHeaders = kFileAlignment;
    opt.SizeOfImage = kSectionAlignment + AlignUp(static_cast<DWORD>(section.size()), kSectionAlignment);
    opt.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
    opt.SizeOfStackReserve = 0x100000;
    opt.SizeOfStackCommit = 0x1000;
    opt.SizeOfHeapReserve = 0x100000;
    opt.SizeOfHeapCommit = 0x1000;
    opt.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    if (!section.empty())
    {
        opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress = kResourceRva;
        opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].Size = static_cast<DWORD>(section.size());
    }
    Put(image, dos.e_lfanew, nt);

    if (!section.empty())
    {
        IMAGE_SECTION_HEADER header = {};
        std::memcpy(header.Name, ".rsrc", 5);
        header.Misc.VirtualSize = static_cast<DWORD>(section.size());
        header.VirtualAddress = kResourceRva;
        header.SizeOfRawData = AlignUp(static_cast<DWORD>(section.size()), kFileAlignment);
        header.PointerToRawData = kFileAlignment;
        header.Characteristics = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ;
        Put(image, dos.e_lfanew + sizeof(nt), header);
    }
    image.resize(kFileAlignment);
    image += section;
    image.resize(AlignUp(static_cast<DWORD>(image.size()), kFileAlignment));
    return image;
}

} // namespace

std::string VersionBlock(ULONGLONG qwFileVersion)
{
    static const wchar_t kKey[] = L"VS_VERSION_INFO";
    const size_t keyBytes = sizeof(kKey);              // with its terminator
    const size_t valueOffset = (6 + keyBytes + 3) & ~size_t(3);
    std::string block(valueOffset + sizeof(VS_FIXEDFILEINFO), '\0');
    PutWord(block, 0, static_cast<WORD>(block.size()));
    PutWord(block, 2, sizeof(VS_FIXEDFILEINFO));
    PutWord(block, 4, 0);  // binary
    std::memcpy(&block[6], kKey, keyBytes);

    VS_FIXEDFILEINFO info = {};
    info.dwSignature = VS_FFI_SIGNATURE;
    info.dwStrucVersion = VS_FFI_STRUCVERSION;
    info.dwFileVersionMS = static_cast<DWORD>(qwFileVersion >> 32);
    info.dwFileVersionLS = static_cast<DWORD>(qwFileVersion);
    info.dwProductVersionMS = 0x00630063;
    info.dwProductVersionLS = 0x00630063;
    info.dwFileOS = VOS_NT_WINDOWS32;
    info.dwFileType = VFT_DLL;
    Put(block, valueOffset, info);
    return block;
}

std::string ImageWithVersionResource(const std::string& block)
{
    return Image(ResourceSection(block));
}

std::string VersionImage(ULONGLONG qwFileVersion)
{
    return ImageWithVersionResource(VersionBlock(qwFileVersion));
}

std::string ImageWithoutResources()
{
    return Image(std::string());
}

} // namespace testing_support
