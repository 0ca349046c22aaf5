// The exe's own ends for what libstdc++ would throw. The program is built
// without exceptions and catches none, yet the library's helpers would still
// build exception objects with their messages, linking the exception runtime and
// two std::string instantiations (about 50 KB) only to end the process. These
// end it at once; running out of memory ends it too, as it always did.

#include <cstdlib>
#include <new>

namespace std {

// All of functexcept.o, so that no later use of another one links it after all
// (its copies would clash with these), and std::function's.
[[noreturn]] void __throw_bad_exception() { std::abort(); }
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_bad_cast() { std::abort(); }
[[noreturn]] void __throw_bad_typeid() { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_domain_error(const char*) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_runtime_error(const char*) { std::abort(); }
[[noreturn]] void __throw_range_error(const char*) { std::abort(); }
[[noreturn]] void __throw_overflow_error(const char*) { std::abort(); }
[[noreturn]] void __throw_underflow_error(const char*) { std::abort(); }
[[noreturn]] void __throw_bad_function_call() { std::abort(); }

}  // namespace std

void* operator new(std::size_t size) {
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    std::abort();
}

void* operator new[](std::size_t size) { return ::operator new(size); }
