// A DLL that throws and catches inside itself, built with the module's
// runtime thread functions and released on detach the way Module.cpp does,
// for the load-and-free cycles (the module's own exports never throw), and
// whose threads take turns through those functions.
#include "module/RuntimeThreads.h"

#include <windows.h>

#include <pthread.h>

#include <stdexcept>

extern "C" __declspec(dllexport) int ThrowAndCatch(int nTimes)
{
    int nCaught = 0;
    for (int i = 0; i < nTimes; ++i)
    {
        try
        {
            throw std::runtime_error("thrown inside the DLL");
        }
        catch (const std::exception&)
        {
            ++nCaught;
        }
    }
    return nCaught;
}

namespace {

// Throws and catches when the image is unloaded, after DllMain's process
// detach, as a static destructor may.
struct CThrowsWhenDestroyed
{
    ~CThrowsWhenDestroyed() { ThrowAndCatch(1); }
} g_throwsWhenDestroyed;

// Thread i of n takes turns i, i + n, i + 2n, ... of one count.
struct CTurns
{
    pthread_mutex_t lock;
    pthread_cond_t turnTaken;
    int nThreads;
    int nRounds;
    int nHolds;       // times a thread takes the lock before it waits
    int nTurn;
    int nCount;       // read, then written after a yield: a second holder would lose counts
};

struct CTurnTaker
{
    CTurns* pTurns;
    int nIndex;
};

DWORD WINAPI TakeTurnsInOrder(LPVOID pParam)
{
    const CTurnTaker& taker = *static_cast<const CTurnTaker*>(pParam);
    CTurns& turns = *taker.pTurns;
    for (int nRound = 0; nRound < turns.nRounds; ++nRound)
    {
        int nMine = nRound * turns.nThreads + taker.nIndex;
        for (int i = 0; i < turns.nHolds; ++i)
            pthread_mutex_lock(&turns.lock);
        while (turns.nTurn != nMine)
            pthread_cond_wait(&turns.turnTaken, &turns.lock);
        int nCount = turns.nCount;
        SwitchToThread();
        turns.nCount = nCount + 1;
        ++turns.nTurn;
        pthread_cond_broadcast(&turns.turnTaken);
        for (int i = 0; i < turns.nHolds; ++i)
            pthread_mutex_unlock(&turns.lock);
    }
    return 0;
}

} // namespace

// nThreads threads (at most 64) take nRounds turns each, in order,
// contending on one lock and waiting on one condition through the pthread
// functions of RuntimeThreads.cpp; with bRecursive the lock is recursive and
// held twice across each wait, as the runtime's guard of local statics holds
// its lock. Returns the turns counted, nThreads * nRounds when none was
// lost, or -1 when the threads had not ended after a minute.
extern "C" __declspec(dllexport) int TakeTurns(int nThreads, int nRounds, BOOL bRecursive)
{
    // Left to the threads if they never end.
    CTurns* pTurns = new CTurns{bRecursive ? PTHREAD_RECURSIVE_MUTEX_INITIALIZER : PTHREAD_MUTEX_INITIALIZER,
                                PTHREAD_COND_INITIALIZER, nThreads, nRounds, bRecursive ? 2 : 1, 0, 0};
    CTurnTaker takers[MAXIMUM_WAIT_OBJECTS];
    HANDLE threads[MAXIMUM_WAIT_OBJECTS];
    for (int i = 0; i < nThreads; ++i)
    {
        takers[i] = {pTurns, i};
        threads[i] = CreateThread(nullptr, 0, TakeTurnsInOrder, &takers[i], 0, nullptr);
    }
    if (WaitForMultipleObjects(static_cast<DWORD>(nThreads), threads, TRUE, 60000) != WAIT_OBJECT_0)
        return -1;
    for (int i = 0; i < nThreads; ++i)
        CloseHandle(threads[i]);
    int nCount = pTurns->nCount;
    delete pTurns;
    return nCount;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_THREAD_DETACH)
        ReleaseRuntimeThread();
    if (dwReason == DLL_PROCESS_DETACH && pReserved == nullptr)
        ReleaseRuntimeAfterStatics();
    return TRUE;
}
