#include "framework/Exceptions.h"

void AfxThrowMemoryException()
{
    throw CMemoryException();
}

void AfxThrowInvalidArgException()
{
    throw CInvalidArgException();
}

void AfxThrowFileException(LONG lOsError)
{
    throw CFileException(lOsError);
}
