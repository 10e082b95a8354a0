#include "tests/support/Hardening.h"

#include "framework/StringData.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace testing_support {

namespace {

size_t PageSize()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

} // namespace

GuardedBuffer::GuardedBuffer(size_t size) : m_size(size)
{
    const size_t page = PageSize();
    const size_t dataPages = (size + page - 1) / page;
    const size_t total = (dataPages + 1) * page;
    m_base = VirtualAlloc(nullptr, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (m_base == nullptr)
        throw std::runtime_error("VirtualAlloc failed");
    char* guard = static_cast<char*>(m_base) + dataPages * page;
    DWORD old = 0;
    if (!VirtualProtect(guard, page, PAGE_NOACCESS, &old))
        throw std::runtime_error("VirtualProtect failed");
    m_data = guard - size;
    // Bytes before the data are poisoned, so a stray read there is visible.
    std::memset(m_base, 0xCD, static_cast<size_t>(m_data - static_cast<char*>(m_base)));
}

GuardedBuffer::GuardedBuffer(const void* data, size_t size) : GuardedBuffer(size)
{
    if (size > 0)
        std::memcpy(m_data, data, size);
}

GuardedBuffer::~GuardedBuffer()
{
    if (m_base != nullptr)
        VirtualFree(m_base, 0, MEM_RELEASE);
}

static_assert(sizeof(CString) == sizeof(char*), "a CString is one pointer to its characters");

GuardedString::GuardedString(const std::string& text)
    : m_block(sizeof(framework_internal::CStringData) + text.size() + 1)
{
    const framework_internal::CStringData header = {-1, static_cast<int>(text.size()),
                                                    static_cast<int>(text.size()), nullptr};
    std::memcpy(m_block.Data(), &header, sizeof(header));
    char* chars = m_block.Data() + sizeof(header);
    std::memcpy(chars, text.c_str(), text.size() + 1);
    DWORD old = 0;
    if (!VirtualProtect(m_block.Data(), m_block.Size(), PAGE_READONLY, &old))
        throw std::runtime_error("VirtualProtect failed");
    // Point the (empty) string at the guarded characters; the empty block it
    // held needs no release, and on destruction the mark keeps the block.
    std::memcpy(static_cast<void*>(&m_string), &chars, sizeof(chars));
}

size_t CountOpenHandles()
{
    size_t count = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
    {
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

namespace {

// Bytes of the regions of the address space of the given type and state.
size_t RegionBytes(DWORD type, DWORD states)
{
    size_t total = 0;
    MEMORY_BASIC_INFORMATION info;
    const char* address = nullptr;
    while (VirtualQuery(address, &info, sizeof(info)) == sizeof(info))
    {
        if ((info.State & states) != 0 && info.Type == type)
            total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return total;
}

} // namespace

size_t CommittedPrivateBytes()
{
    return RegionBytes(MEM_PRIVATE, MEM_COMMIT);
}

size_t MappedViewBytes()
{
    return RegionBytes(MEM_MAPPED, MEM_COMMIT | MEM_RESERVE);
}

void ExpectNoLeaks(const std::function<void()>& body, int nRounds, size_t nSlack)
{
    for (int i = 0; i < 50; ++i)
        body();
    const size_t handles = CountOpenHandles();
    const size_t memory = CommittedPrivateBytes();
    const size_t views = MappedViewBytes();
    for (int i = 0; i < nRounds; ++i)
        body();
    EXPECT_EQ(views, MappedViewBytes()) << "bytes of mapped views after " << nRounds << " rounds";
    const size_t handlesAfter = CountOpenHandles();
    const size_t memoryAfter = CommittedPrivateBytes();
    EXPECT_EQ(handles, handlesAfter) << "open handles after " << nRounds << " rounds";
    EXPECT_LT(memoryAfter, memory + nSlack) << "committed private bytes grew by "
                                            << static_cast<long long>(memoryAfter) - static_cast<long long>(memory);
}

} // namespace testing_support

namespace testing_support {

std::string RandomText(std::mt19937& random, const std::vector<std::string>& pieces, size_t maxPieces)
{
    std::uniform_int_distribution<size_t> count(0, maxPieces);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::string text;
    for (size_t n = count(random); n > 0; --n)
        text += pieces[pick(random)];
    return text;
}

std::vector<std::string> TrickyPieces()
{
    return {
        "\\", "/", ".", "..", ":", "?", "#", "+", "-", "0", "1", "9", "a", "F", "g", "Z", "x", " ", "\t", ",", "*",
        "\xE9",                       // a single high byte in code page 1252
        "\xB0\x41", "\xC7\xD1",       // code page 949: trail "A", and a Hangul syllable
        "\x95\x5C", "\x83\x5C",       // code page 932: trail "\"
        "\x81\x40", "\x88\x3F",       // trail "@" and trail "?"
    };
}

std::string TraceBytes(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char ch : text)
    {
        char hex[8];
        std::snprintf(hex, sizeof(hex), ch >= 0x20 && ch < 0x7F && ch != '\\' ? "%c" : "\\x%02X", ch);
        out += hex;
    }
    return out + "\"";
}

} // namespace testing_support
