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
