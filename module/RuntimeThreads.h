// What the statically linked C++ runtime holds for threads, and its release.
//
// With mingw-w64, libstdc++ and libgcc reach threads through ten pthread
// functions (keys for the exception globals, one-time set-up, locks for the
// unwinder's frame list, the emergency exception pool and local statics).
// The module defines them itself (RuntimeThreads.cpp) in place of the
// toolchain's thread library, which keeps a record, a TLS index and two
// handles for every thread that touches it and never gives them back when a
// DLL is unloaded. What remains to release are the threads' thread-local
// values and the emergency exception pool.
#pragma once

// Thread detach: the leaving thread's thread-local values, through the
// destructors the runtime gave for them.
void ReleaseRuntimeThread() noexcept;

// Process detach while the process goes on (FreeLibrary): every thread's
// thread-local values, live threads' included, the TLS index that holds
// them and the emergency exception pool are released after the image's
// static destructors have run, by the destructor of a static object
// constructed before all others; those destructors may still throw and
// catch. Not for a process that exits: its other threads stopped wherever
// they were, perhaps holding the lock the release takes.
void ReleaseRuntimeAfterStatics() noexcept;
