// The exe's own terminate handler. The default one names the uncaught
// exception's type, which links the C++ demangler (about 45 KB) into a program
// that has no console to print it to. Ending at once is all it could do anyway.

#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
