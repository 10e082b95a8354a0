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

// Thread i takes turns i, i + kThreads, i + 2 kThreads, ... under one
// recursive lock held twice across each wait, as the runtime's guard of
// local statics holds its lock.
constexpr int kThreads = 8;
constexpr int kTurns = kThreads * 200;
pthread_mutex_t g_turnLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER;
pthread_cond_t g_turnTaken = PTHREAD_COND_INITIALIZER;
LONG g_nTakers = 0;
int g_nTurn = 0;   // the next turn to take

DWORD WINAPI TakeTurnsInOrder(LPVOID)
{
    for (int nTurn = InterlockedIncrement(&g_nTakers) - 1; nTurn < kTurns; nTurn += kThreads)
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

// The turns that 8 threads take through the pthread functions of
// RuntimeThreads.cpp, once per load: 1600, or -1 when the threads had not
// ended after a minute (a wake lost).
extern "C" __declspec(dllexport) int TakeTurns()
{
    HANDLE threads[kThreads];
    for (HANDLE& hThread : threads)
        hThread = CreateThread(nullptr, 0, TakeTurnsInOrder, nullptr, 0, nullptr);
    DWORD dwWait = WaitForMultipleObjects(kThreads, threads, TRUE, 60000);
    for (HANDLE hThread : threads)
        CloseHandle(hThread);
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
