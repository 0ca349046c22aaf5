#pragma once
// One owner per Windows handle: UniqueHandle<Traits> closes it when it goes.
// Traits give the invalid value (a function, since INVALID_HANDLE_VALUE cannot
// be a template argument) and the closing call.

#include <utility>

#include "platform/windows/windows_api.h"

namespace quarnet::windows {

template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() : handle_(Traits::invalid()) {}
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    bool valid() const { return handle_ != Traits::invalid(); }
    Handle get() const { return handle_; }
    Handle release() { return std::exchange(handle_, Traits::invalid()); }
    // Closing keeps the thread's last error, so a failure read after a reset is the caller's own.
    void reset() {
        if (valid()) {
            DWORD saved = ::GetLastError();
            Traits::close(handle_);
            ::SetLastError(saved);
        }
        handle_ = Traits::invalid();
    }

private:
    Handle handle_;
};

struct FileHandleTraits {  // CreateFileW
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle handle) { ::CloseHandle(handle); }
};

struct KernelHandleTraits {  // handles that are null when invalid (timers and the like)
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle handle) { ::CloseHandle(handle); }
};

struct FindHandleTraits {  // FindFirstFileExW
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle handle) { ::FindClose(handle); }
};

struct LibraryHandleTraits {  // LoadLibraryExW / LoadLibraryExA
    using Handle = HMODULE;
    static Handle invalid() { return nullptr; }
    static void close(Handle handle) { ::FreeLibrary(handle); }
};

template <class Pointer>
struct LocalMemoryTraits {  // what a call allocated with LocalAlloc for its caller to free
    using Handle = Pointer;
    static Handle invalid() { return nullptr; }
    static void close(Handle memory) { ::LocalFree(memory); }
};

template <class Interface>
struct ComPointerTraits {  // one reference to a COM object
    using Handle = Interface*;
    static Handle invalid() { return nullptr; }
    static void close(Handle object) { object->Release(); }
};

using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueLibrary = UniqueHandle<LibraryHandleTraits>;
using UniqueLocalText = UniqueHandle<LocalMemoryTraits<wchar_t*>>;  // FORMAT_MESSAGE_ALLOCATE_BUFFER
template <class Pointer>
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits<Pointer>>;
template <class Interface>
using UniqueComPointer = UniqueHandle<ComPointerTraits<Interface>>;

}  // namespace quarnet::windows
