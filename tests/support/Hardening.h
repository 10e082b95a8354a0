// Tools for tests that prove bad input cannot hurt the host: buffers that
// end at an inaccessible page, and process-wide counts of open handles and
// committed private memory for leak checks.
#pragma once

#include "framework/String.h"

#include <windows.h>

#include <cstddef>
#include <functional>
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

// Bytes of the address space taken by mapped views of files and sections.
size_t MappedViewBytes();

// Runs body 50 times to let lazily made platform and heap state settle, then
// nRounds times more, and expects the open handles exactly where they were
// and the mapped views, and committed private memory grown by less than
// nSlack bytes. The heap may
// commit a few pages for its own bookkeeping while blocks of new sizes come
// and go, so the slack is a fixed few pages while a leak grows with nRounds.
void ExpectNoLeaks(const std::function<void()>& body, int nRounds, size_t nSlack = 256 * 1024);

// A CString whose characters and terminator end at a PAGE_NOACCESS page and
// whose block is read-only, so an operation that reads past the terminator
// of its argument, or writes into it, faults at once. A string built from
// text copies it onto the heap, where an overread goes unseen; this one
// keeps the caller's bytes where they are. The block carries the string
// class's "shared" mark (a reference count of -1, as on its empty block),
// so the class never frees it and copies it before any change. Copies of it
// point into the guarded block too, so none may outlive the object.
class GuardedString
{
public:
    explicit GuardedString(const std::string& text);
    GuardedString(const GuardedString&) = delete;
    GuardedString& operator=(const GuardedString&) = delete;

    const CString& Get() const { return m_string; }
    operator const CString&() const { return m_string; }

private:
    GuardedBuffer m_block;   // declared first: outlives the string that points into it
    CString m_string;
};

// UTF-16 text whose terminator is the last readable unit.
class GuardedWide : public GuardedBuffer
{
public:
    explicit GuardedWide(const std::wstring& text)
        : GuardedBuffer(text.c_str(), (text.size() + 1) * sizeof(wchar_t))
    {
    }
    const WCHAR* c_str() const { return reinterpret_cast<const WCHAR*>(Data()); }
};

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

// The text quoted for a failure message, every byte outside printable ASCII
// (and the backslash) as \xNN, so a failing random input can be pasted back.
std::string TraceBytes(const std::string& text);

} // namespace testing_support
