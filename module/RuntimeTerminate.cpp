// The terminate handler of the statically linked C++ runtime.
//
// libstdc++'s default handler writes the uncaught exception's type and
// message to standard error before it aborts, and brings its name demangler
// (some 46 KB) into the module for that. Inside a host's process nobody
// reads that stream, so the module defines the handler under the same name
// and aborts at once, as the default does after its message.
#include <cstdlib>
#include <exception>

#if defined(__GLIBCXX__)

namespace __gnu_cxx {

void __verbose_terminate_handler()
{
    std::abort();
}

} // namespace __gnu_cxx

#endif
