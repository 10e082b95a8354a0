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

// Throws and catches after DllMain's process detach, as a static destructor may.
struct CThrowsWhenDestroyed
{
    ~CThrowsWhenDestroyed() { ThrowAndCatch(1); }
} g_throwsWhenDestroyed;

// Thread i of n takes turns i, i + n, i + 2n, ... under one recursive lock
// held twice across each wait, as the runtime's guard of local statics
// holds its lock.
pthread_mutex_t g_turnLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER;
pthread_cond_t g_turnTaken = PTHREAD_COND_INITIALIZER;
LONG g_nTakers = 0;
int g_nThreads = 0;
int g_nTurns = 0;
int g_nTurn = 0;   // the next turn to take

DWORD WINAPI TakeTurnsInOrder(LPVOID)
{
    for (int nTurn = InterlockedIncrement(&g_nTakers) - 1; nTurn < g_nTurns; nTurn += g_nThreads)
    {
        pthread_mutex_lock(&g_turnLock);
        pthread_mutex_lock(&g_turnLock);
        while (g_nTurn != nTurn)
            pthread_cond_wait(&g_turnTaken, &g_turnLock);
        SwitchToThread();   // the others meet the lock held
        g_nTurn = nTurn + 1;
        pthread_cond_broadcast(&g_turnTaken);
        pthread_mutex_unlock(&g_turnLock);
        pthread_mutex_unlock(&g_turnLock);
    }
    return 0;
}

} // namespace

// nThreads threads (at most 64) take nRounds turns each through the pthread
// functions of RuntimeThreads.cpp, once per load. Returns the turns taken,
// or -1 when the threads had not ended after a minute (a wake lost).
extern "C" __declspec(dllexport) int TakeTurns(int nThreads, int nRounds)
{
    g_nThreads = nThreads;
    g_nTurns = nThreads * nRounds;
    HANDLE threads[MAXIMUM_WAIT_OBJECTS] = {};
    for (int i = 0; i < nThreads; ++i)
        threads[i] = CreateThread(nullptr, 0, TakeTurnsInOrder, nullptr, 0, nullptr);
    DWORD dwWait = WaitForMultipleObjects(static_cast<DWORD>(nThreads), threads, TRUE, 60000);
    for (int i = 0; i < nThreads; ++i)
        CloseHandle(threads[i]);
    return dwWait == WAIT_OBJECT_0 ? g_nTurn : -1;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_THREAD_DETACH)
        ReleaseRuntimeThread();
    if (dwReason == DLL_PROCESS_DETACH && pReserved == nullptr)
        ReleaseRuntimeAfterStatics();
    return TRUE;
}
