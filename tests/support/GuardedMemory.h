// Buffers that end at an inaccessible page, for tests that prove an
// operation never reads or writes one byte past its input or output.
#pragma once

#include "framework/String.h"

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

// A zero-terminated copy of text (char or UTF-16) whose terminator is the
// last readable unit.
template <class Char>
class GuardedChars : public GuardedBuffer
{
public:
    explicit GuardedChars(const std::basic_string<Char>& text)
        : GuardedBuffer(text.c_str(), (text.size() + 1) * sizeof(Char))
    {
    }
    const Char* c_str() const { return reinterpret_cast<const Char*>(Data()); }
};
using GuardedText = GuardedChars<char>;
using GuardedWide = GuardedChars<wchar_t>;

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

} // namespace testing_support
