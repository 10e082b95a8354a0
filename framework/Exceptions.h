// Exceptions raised by the framework stand-in.
//
// The framework reports only two kinds of trouble by raising: exhausted memory
// (CMemoryException) and an out-of-range single-character access on a string
// (CInvalidArgException). Library operations never catch them; the module's
// exported functions do, so nothing escapes into a host.
#pragma once

#include <windows.h>

#include <exception>

class CException : public std::exception
{
public:
    // The platform status that best describes the failure.
    virtual HRESULT GetStatus() const noexcept = 0;
};

class CMemoryException : public CException
{
public:
    const char* what() const noexcept override { return "out of memory"; }
    HRESULT GetStatus() const noexcept override { return E_OUTOFMEMORY; }
};

class CInvalidArgException : public CException
{
public:
    const char* what() const noexcept override { return "invalid argument"; }
    HRESULT GetStatus() const noexcept override { return E_INVALIDARG; }
};

[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowInvalidArgException();
