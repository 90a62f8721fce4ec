// The runtime's default terminate handler prints the type of an uncaught
// exception to stderr, demangling its name first; that alone links some
// 50 KB of demangler into the program. A windowed program has no stderr to
// print to, and every handler catches its exceptions anyway, so this one
// ends the process the way the default handler does after its message.
#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
