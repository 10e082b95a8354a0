// The pthread functions the statically linked runtime calls, on Win32.
//
// These definitions satisfy libstdc++ and libgcc; the DLL is linked without
// the toolchain's thread library (kestrum_runtime_threads in
// cmake/KestrumFlags.cmake). Only the ten functions the runtime calls are
// here: code that needed another (std::thread, say) fails to link, with an
// undefined reference.
//
// Locks, condition variables and once flags live in the words the runtime
// gives them: an SRW lock and a condition variable are one pointer each and
// hold nothing while idle, so they need no release and vanish with the
// image. Thread-local values are the one thing kept outside the image: one
// TLS index, and per thread a block listed under a lock, so that the
// values of every thread can be released when the module is unloaded.
#include "module/RuntimeThreads.h"

#if defined(__MINGW32__)

#include <windows.h>

#include <errno.h>
#include <pthread.h>

#include <type_traits>

namespace __gnu_cxx {
// libstdc++'s release of its emergency exception pool (meant for memory
// checkers, so declared in no header).
void __freeres();
} // namespace __gnu_cxx

namespace {

// ---------------------------------------------------------------------------
// Locks
//
// A mutex word starts as one of the runtime's static initialisers. The
// default and error-checking ones become an SRW lock in place on first use;
// a recursive one is given a record from a table in the image and holds
// kRecursiveMark minus the record's index. Those marks lie in the top
// 64 KiB of the address space, a value no SRW lock state takes (its states
// are small counts or a pointer to a waiter's stack).

struct CRecursiveLock
{
    SRWLOCK lock;
    DWORD dwOwner;   // thread id, 0 while free
    LONG nDepth;
};

constexpr intptr_t kRecursiveMark = -16;
constexpr LONG kRecursiveLocks = 16;

CRecursiveLock g_recursiveLocks[kRecursiveLocks];
LONG g_nRecursiveLocks = 0;

// What the words rely on: a mutex and a condition are one pointer-sized
// integer, the size of an SRW lock and of a condition variable; their
// static initialisers are distinct values in the top 64 KiB above the
// recursive marks, which neither a lock nor a condition in use takes.
constexpr bool IsInitialiser(intptr_t word)
{
    return word > kRecursiveMark && word < 0;
}
static_assert(std::is_same<pthread_mutex_t, intptr_t>::value && sizeof(SRWLOCK) == sizeof(intptr_t),
              "a mutex is one intptr_t, the size of an SRW lock");
static_assert(std::is_same<pthread_cond_t, intptr_t>::value && sizeof(CONDITION_VARIABLE) == sizeof(intptr_t),
              "a condition is one intptr_t, the size of a condition variable");
static_assert(IsInitialiser(PTHREAD_MUTEX_INITIALIZER) && IsInitialiser(PTHREAD_ERRORCHECK_MUTEX_INITIALIZER) &&
                  IsInitialiser(PTHREAD_RECURSIVE_MUTEX_INITIALIZER) && IsInitialiser(PTHREAD_COND_INITIALIZER),
              "initialisers lie between the recursive marks and 0");
static_assert(PTHREAD_MUTEX_INITIALIZER != PTHREAD_ERRORCHECK_MUTEX_INITIALIZER &&
                  PTHREAD_MUTEX_INITIALIZER != PTHREAD_RECURSIVE_MUTEX_INITIALIZER &&
                  PTHREAD_ERRORCHECK_MUTEX_INITIALIZER != PTHREAD_RECURSIVE_MUTEX_INITIALIZER,
              "the three mutex initialisers are distinct");

// The SRW lock behind a mutex word, made ready on first use; pRecursive is
// set for a recursive mutex. Null when the table of recursive locks is full.
SRWLOCK* GetLock(pthread_mutex_t* pMutex, CRecursiveLock*& pRecursive)
{
    pRecursive = nullptr;
    intptr_t word = __atomic_load_n(pMutex, __ATOMIC_ACQUIRE);
    if (word == PTHREAD_MUTEX_INITIALIZER || word == PTHREAD_ERRORCHECK_MUTEX_INITIALIZER)
    {
        // A thread that loses the race finds the winner's lock in the word.
        __atomic_compare_exchange_n(pMutex, &word, 0, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
        return reinterpret_cast<SRWLOCK*>(pMutex);
    }
    if (word == PTHREAD_RECURSIVE_MUTEX_INITIALIZER)
    {
        LONG nIndex = InterlockedIncrement(&g_nRecursiveLocks) - 1;
        if (nIndex >= kRecursiveLocks)
            return nullptr;
        intptr_t mark = kRecursiveMark - nIndex;
        if (__atomic_compare_exchange_n(pMutex, &word, mark, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
            word = mark;
    }
    uintptr_t nIndex = static_cast<uintptr_t>(kRecursiveMark) - static_cast<uintptr_t>(word);
    if (nIndex < static_cast<uintptr_t>(kRecursiveLocks))
    {
        pRecursive = &g_recursiveLocks[nIndex];
        return &pRecursive->lock;
    }
    return reinterpret_cast<SRWLOCK*>(pMutex);
}

CONDITION_VARIABLE* GetCondition(pthread_cond_t* pCond)
{
    intptr_t word = __atomic_load_n(pCond, __ATOMIC_ACQUIRE);
    if (word == PTHREAD_COND_INITIALIZER)
        __atomic_compare_exchange_n(pCond, &word, 0, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
    return reinterpret_cast<CONDITION_VARIABLE*>(pCond);
}

// ---------------------------------------------------------------------------
// Once flags: PTHREAD_ONCE_INIT, then running, then done. Threads that find
// it running wait on one condition shared by every flag.

constexpr long kOnceRunning = 1;
constexpr long kOnceDone = 2;
static_assert(std::is_same<pthread_once_t, long>::value && PTHREAD_ONCE_INIT != kOnceRunning &&
                  PTHREAD_ONCE_INIT != kOnceDone,
              "a once flag is a long that starts apart from running and done");
SRWLOCK g_onceLock = SRWLOCK_INIT;
CONDITION_VARIABLE g_onceDone = CONDITION_VARIABLE_INIT;

// ---------------------------------------------------------------------------
// Thread-local values. The runtime makes one key (libgcc's emulated TLS);
// a few more are room to spare.

constexpr unsigned kKeys = 8;
static_assert(std::is_same<pthread_key_t, unsigned>::value, "a key is an index into the values");
constexpr int kDestructorRounds = 4;   // as POSIX's minimum

struct CThreadValues
{
    CThreadValues* pNext;
    CThreadValues* pPrev;
    void* values[kKeys];
};

SRWLOCK g_keyLock = SRWLOCK_INIT;   // guards the keys, the list and the index
bool g_bKeyUsed[kKeys];
void (*g_pfnDestructors[kKeys])(void*);
CThreadValues* g_pThreads = nullptr;
DWORD g_dwTlsIndex = TLS_OUT_OF_INDEXES;
bool g_bReleased = false;   // after ReleaseRuntime no value is kept

CThreadValues* GetThreadValues()
{
    DWORD dwIndex = __atomic_load_n(&g_dwTlsIndex, __ATOMIC_ACQUIRE);
    if (dwIndex == TLS_OUT_OF_INDEXES)
        return nullptr;
    // TlsGetValue clears the last error, which the runtime's callers may
    // still be about to read.
    DWORD dwError = GetLastError();
    void* pValues = TlsGetValue(dwIndex);
    SetLastError(dwError);
    return static_cast<CThreadValues*>(pValues);
}

// As a thread's exit does: each value is cleared, then its destructor runs;
// rounds repeat while destructors leave new values.
void RunDestructors(CThreadValues* pValues)
{
    for (int nRound = 0; nRound < kDestructorRounds; ++nRound)
    {
        bool bCalled = false;
        for (unsigned i = 0; i < kKeys; ++i)
        {
            void* pValue = pValues->values[i];
            pValues->values[i] = nullptr;
            if (pValue != nullptr && g_pfnDestructors[i] != nullptr)
            {
                g_pfnDestructors[i](pValue);
                bCalled = true;
            }
        }
        if (!bCalled)
            break;
    }
}

} // namespace

extern "C" {

int pthread_mutex_init(pthread_mutex_t* pMutex, const pthread_mutexattr_t* pAttr)
{
    // Attributes are made by functions of the thread library, which is not
    // linked; the runtime asks for default mutexes only.
    if (pAttr != nullptr)
        return ENOTSUP;
    __atomic_store_n(pMutex, 0, __ATOMIC_RELEASE);
    return 0;
}

int pthread_mutex_destroy(pthread_mutex_t* /*pMutex*/)
{
    // An idle lock holds nothing; a recursive record stays with the image.
    return 0;
}

int pthread_mutex_lock(pthread_mutex_t* pMutex)
{
    CRecursiveLock* pRecursive = nullptr;
    SRWLOCK* pLock = GetLock(pMutex, pRecursive);
    if (pLock == nullptr)
        return EAGAIN;
    if (pRecursive == nullptr)
    {
        AcquireSRWLockExclusive(pLock);
        return 0;
    }
    DWORD dwSelf = GetCurrentThreadId();
    if (__atomic_load_n(&pRecursive->dwOwner, __ATOMIC_RELAXED) != dwSelf)
    {
        AcquireSRWLockExclusive(pLock);
        __atomic_store_n(&pRecursive->dwOwner, dwSelf, __ATOMIC_RELAXED);
    }
    ++pRecursive->nDepth;
    return 0;
}

int pthread_mutex_unlock(pthread_mutex_t* pMutex)
{
    CRecursiveLock* pRecursive = nullptr;
    SRWLOCK* pLock = GetLock(pMutex, pRecursive);
    if (pLock == nullptr)
        return EPERM;
    if (pRecursive != nullptr)
    {
        if (pRecursive->dwOwner != GetCurrentThreadId())
            return EPERM;
        if (--pRecursive->nDepth > 0)
            return 0;
        __atomic_store_n(&pRecursive->dwOwner, 0, __ATOMIC_RELAXED);
    }
    ReleaseSRWLockExclusive(pLock);
    return 0;
}

int pthread_cond_wait(pthread_cond_t* pCond, pthread_mutex_t* pMutex)
{
    CONDITION_VARIABLE* pCondition = GetCondition(pCond);
    CRecursiveLock* pRecursive = nullptr;
    SRWLOCK* pLock = GetLock(pMutex, pRecursive);
    if (pLock == nullptr)
        return EINVAL;
    if (pRecursive == nullptr)
    {
        SleepConditionVariableSRW(pCondition, pLock, INFINITE, 0);
        return 0;
    }
    // The wait gives up every level of a recursive lock and takes them back.
    DWORD dwSelf = GetCurrentThreadId();
    if (pRecursive->dwOwner != dwSelf)
        return EPERM;
    LONG nDepth = pRecursive->nDepth;
    pRecursive->nDepth = 0;
    __atomic_store_n(&pRecursive->dwOwner, 0, __ATOMIC_RELAXED);
    SleepConditionVariableSRW(pCondition, pLock, INFINITE, 0);
    __atomic_store_n(&pRecursive->dwOwner, dwSelf, __ATOMIC_RELAXED);
    pRecursive->nDepth = nDepth;
    return 0;
}

int pthread_cond_broadcast(pthread_cond_t* pCond)
{
    WakeAllConditionVariable(GetCondition(pCond));
    return 0;
}

int pthread_once(pthread_once_t* pOnce, void (*pfnInit)(void))
{
    if (__atomic_load_n(pOnce, __ATOMIC_ACQUIRE) == kOnceDone)
        return 0;
    long state = PTHREAD_ONCE_INIT;
    if (__atomic_compare_exchange_n(pOnce, &state, kOnceRunning, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
    {
        pfnInit();
        AcquireSRWLockExclusive(&g_onceLock);
        __atomic_store_n(pOnce, kOnceDone, __ATOMIC_RELEASE);
        ReleaseSRWLockExclusive(&g_onceLock);
        WakeAllConditionVariable(&g_onceDone);
        return 0;
    }
    AcquireSRWLockExclusive(&g_onceLock);
    while (__atomic_load_n(pOnce, __ATOMIC_ACQUIRE) != kOnceDone)
        SleepConditionVariableSRW(&g_onceDone, &g_onceLock, INFINITE, 0);
    ReleaseSRWLockExclusive(&g_onceLock);
    return 0;
}

int pthread_key_create(pthread_key_t* pKey, void (*pfnDestructor)(void*))
{
    int nResult = EAGAIN;
    AcquireSRWLockExclusive(&g_keyLock);
    if (!g_bReleased && g_dwTlsIndex == TLS_OUT_OF_INDEXES)
        __atomic_store_n(&g_dwTlsIndex, TlsAlloc(), __ATOMIC_RELEASE);
    if (!g_bReleased && g_dwTlsIndex != TLS_OUT_OF_INDEXES)
    {
        for (unsigned i = 0; i < kKeys; ++i)
        {
            if (g_bKeyUsed[i])
                continue;
            g_bKeyUsed[i] = true;
            g_pfnDestructors[i] = pfnDestructor;
            *pKey = i;
            nResult = 0;
            break;
        }
    }
    ReleaseSRWLockExclusive(&g_keyLock);
    return nResult;
}

void* pthread_getspecific(pthread_key_t key)
{
    CThreadValues* pValues = key < kKeys ? GetThreadValues() : nullptr;
    return pValues != nullptr ? pValues->values[key] : nullptr;
}

int pthread_setspecific(pthread_key_t key, const void* pValue)
{
    if (key >= kKeys)
        return EINVAL;
    CThreadValues* pValues = GetThreadValues();
    if (pValues == nullptr)
    {
        if (pValue == nullptr)
            return 0;
        pValues = static_cast<CThreadValues*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CThreadValues)));
        if (pValues == nullptr)
            return ENOMEM;
        AcquireSRWLockExclusive(&g_keyLock);
        bool bListed = !g_bReleased && TlsSetValue(g_dwTlsIndex, pValues);
        if (bListed)
        {
            pValues->pNext = g_pThreads;
            if (g_pThreads != nullptr)
                g_pThreads->pPrev = pValues;
            g_pThreads = pValues;
        }
        ReleaseSRWLockExclusive(&g_keyLock);
        if (!bListed)
        {
            HeapFree(GetProcessHeap(), 0, pValues);
            return g_bReleased ? EINVAL : ENOMEM;
        }
    }
    pValues->values[key] = const_cast<void*>(pValue);
    return 0;
}

} // extern "C"

void ReleaseRuntimeThread() noexcept
{
    CThreadValues* pValues = GetThreadValues();
    if (pValues == nullptr)
        return;
    RunDestructors(pValues);
    AcquireSRWLockExclusive(&g_keyLock);
    if (pValues->pPrev != nullptr)
        pValues->pPrev->pNext = pValues->pNext;
    else
        g_pThreads = pValues->pNext;
    if (pValues->pNext != nullptr)
        pValues->pNext->pPrev = pValues->pPrev;
    TlsSetValue(g_dwTlsIndex, nullptr);
    ReleaseSRWLockExclusive(&g_keyLock);
    HeapFree(GetProcessHeap(), 0, pValues);
}

namespace {

// Every thread's values, the TLS index and the emergency exception pool.
void ReleaseRuntime() noexcept
{
    AcquireSRWLockExclusive(&g_keyLock);
    g_bReleased = true;
    CThreadValues* pThreads = g_pThreads;
    g_pThreads = nullptr;
    DWORD dwIndex = g_dwTlsIndex;
    __atomic_store_n(&g_dwTlsIndex, TLS_OUT_OF_INDEXES, __ATOMIC_RELEASE);
    ReleaseSRWLockExclusive(&g_keyLock);
    // Another thread's values are released here as its exit would have; the
    // runtime's destructors only free memory.
    while (pThreads != nullptr)
    {
        CThreadValues* pNext = pThreads->pNext;
        RunDestructors(pThreads);
        HeapFree(GetProcessHeap(), 0, pThreads);
        pThreads = pNext;
    }
    if (dwIndex != TLS_OUT_OF_INDEXES)
        TlsFree(dwIndex);
    __gnu_cxx::__freeres();
}

// Static destructors run after DllMain's process detach, in the reverse
// order of construction, and may throw. This object is constructed before
// every other static object of the image (101 is the first priority a
// program may use), so its destructor comes last.
bool g_bReleaseAfterStatics = false;

struct CRuntimeRelease
{
    ~CRuntimeRelease()
    {
        if (g_bReleaseAfterStatics)
            ReleaseRuntime();
    }
};
CRuntimeRelease g_runtimeRelease __attribute__((init_priority(101)));

} // namespace

void ReleaseRuntimeAfterStatics() noexcept
{
    g_bReleaseAfterStatics = true;
}

#else

// Other toolchains' runtimes are not built with this project's tests; they
// release their own state or not, unseen here.
void ReleaseRuntimeThread() noexcept {}
void ReleaseRuntimeAfterStatics() noexcept {}

#endif
