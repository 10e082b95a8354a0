// Exceptions raised by the framework stand-in.
//
// The framework reports trouble by raising in three cases: exhausted memory
// (CMemoryException), an out-of-range single-character access on a string
// (CInvalidArgException), and a failed query or close on a file that was
// opened (CFileException). Library operations never catch them; the module's
// exported functions and the tool's main do, through StatusOfException, so
// nothing escapes into a host.
#pragma once

#include <windows.h>

#include <exception>
#include <new>

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

// A file operation failed after the file was opened; m_lOsError is the
// platform's error code (GetLastError) at the failure.
class CFileException : public CException
{
public:
    explicit CFileException(LONG lOsError) noexcept : m_lOsError(lOsError) {}
    const char* what() const noexcept override { return "file error"; }
    HRESULT GetStatus() const noexcept override
    {
        return m_lOsError == 0 ? E_FAIL : HRESULT_FROM_WIN32(static_cast<DWORD>(m_lOsError));
    }

    LONG m_lOsError;
};

[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowInvalidArgException();
[[noreturn]] void AfxThrowFileException(LONG lOsError);

// For a boundary that nothing may pass (an export, main): the status and a
// short text for the exception being handled. Call it only inside a catch
// block:
//
//   catch (...) { return StatusOfException(); }
//
//   CException        its GetStatus() and what()
//   std::bad_alloc    E_OUTOFMEMORY, "out of memory"
//   other exceptions  E_UNEXPECTED, their what() or "unexpected exception"
inline HRESULT StatusOfException(const char** ppszWhat = nullptr) noexcept
{
    const char* pszUnused = nullptr;
    const char*& pszWhat = ppszWhat != nullptr ? *ppszWhat : pszUnused;
    try
    {
        throw;
    }
    catch (const CException& e)
    {
        pszWhat = e.what();
        return e.GetStatus();
    }
    catch (const std::bad_alloc&)
    {
        pszWhat = "out of memory";
        return E_OUTOFMEMORY;
    }
    catch (const std::exception& e)
    {
        pszWhat = e.what();
    }
    catch (...)
    {
        pszWhat = "unexpected exception";
    }
    return E_UNEXPECTED;
}
