#include "tests/support/GuardedMemory.h"

#include "framework/StringData.h"

#include <cstring>
#include <stdexcept>

namespace testing_support {

GuardedBuffer::GuardedBuffer(size_t size) : m_size(size)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
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

} // namespace testing_support
