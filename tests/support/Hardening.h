// Tools for tests that prove bad input cannot hurt the host: buffers that
// end at an inaccessible page, and process-wide counts of open handles and
// committed private memory for leak checks.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace testing_support {

// A block of memory whose last byte is followed by a PAGE_NOACCESS page, so
// reading or writing one byte past the end faults at once.
class GuardedBuffer
{
public:
    explicit GuardedBuffer(size_t size);
    GuardedBuffer(const void* data, size_t size);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    char* Data() const { return m_data; }
    size_t Size() const { return m_size; }

private:
    void* m_base = nullptr;
    char* m_data = nullptr;
    size_t m_size = 0;
};

// A zero-terminated copy of text whose terminator is the last readable byte.
class GuardedText : public GuardedBuffer
{
public:
    explicit GuardedText(const std::string& text) : GuardedBuffer(text.c_str(), text.size() + 1) {}
    const char* c_str() const { return Data(); }
};

// The number of valid handles in the process, found by asking the platform
// about every possible handle value (GetProcessHandleCount is not reliable
// under every platform layer).
size_t CountOpenHandles();

// Bytes of committed private memory in the process's address space.
size_t CommittedPrivateBytes();

} // namespace testing_support

#include <random>
#include <vector>

namespace testing_support {

// Text made of 0 to maxPieces pieces drawn from the given ones.
std::string RandomText(std::mt19937& random, const std::vector<std::string>& pieces, size_t maxPieces);

// Pieces that matter to path and number text: separators, dots, colons,
// question marks, signs, digits, hex letters, blanks, and double-byte
// characters of code pages 949 and 932 whose trail bytes look like ASCII.
std::vector<std::string> TrickyPieces();

} // namespace testing_support
