#include "framework/StringArray.h"

#include <new>
#include <stdexcept>
#include <utility>

const CString& CStringArray::GetAt(int nIndex) const
{
    if (nIndex < 0 || nIndex >= GetSize())
        AfxThrowInvalidArgException();
    return m_items[static_cast<size_t>(nIndex)];
}

CString& CStringArray::ElementAt(int nIndex)
{
    if (nIndex < 0 || nIndex >= GetSize())
        AfxThrowInvalidArgException();
    return m_items[static_cast<size_t>(nIndex)];
}

int CStringArray::Add(const CString& str)
{
    return Add(CString(str));
}

int CStringArray::Add(CString&& str)
{
    try
    {
        m_items.push_back(std::move(str));
    }
    catch (const std::bad_alloc&)
    {
        AfxThrowMemoryException();
    }
    catch (const std::length_error&)
    {
        AfxThrowMemoryException();
    }
    return GetSize() - 1;
}

void CStringArray::SetSize(int nNewSize)
{
    if (nNewSize < 0)
        AfxThrowInvalidArgException();
    try
    {
        m_items.resize(static_cast<size_t>(nNewSize));
    }
    catch (const std::exception&)
    {
        AfxThrowMemoryException();
    }
}

void CStringArray::Reserve(int nCount)
{
    if (nCount <= GetSize())
        return;
    try
    {
        m_items.reserve(static_cast<size_t>(nCount));
    }
    catch (const std::exception&)
    {
        AfxThrowMemoryException();
    }
}
