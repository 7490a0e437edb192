#pragma once

#include <windows.h>

// Owns one Windows resource; Traits names its type, its invalid value and how it is freed.
template <typename Traits>
class UniqueHandle {
  public:
    using Handle = typename Traits::Handle;

    explicit UniqueHandle(Handle handle = Traits::invalid()) : handle_(handle) {}
    ~UniqueHandle() {
        if (valid()) {
            Traits::close(handle_);
        }
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Traits::invalid(); }
    // Hands the resource to a new owner that frees it itself.
    Handle release() {
        const Handle handle = handle_;
        handle_ = Traits::invalid();
        return handle;
    }

  private:
    Handle handle_;
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle handle) { CloseHandle(handle); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle handle) { FindClose(handle); }
};

struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle invalid() { return nullptr; }
    static void close(Handle memory) { LocalFree(memory); }
};

struct TaskMemoryTraits {
    using Handle = wchar_t*;
    static Handle invalid() { return nullptr; }
    static void close(Handle memory) { CoTaskMemFree(memory); }
};

struct ArgvTraits {
    using Handle = wchar_t**;
    static Handle invalid() { return nullptr; }
    static void close(Handle argv) { LocalFree(static_cast<HLOCAL>(argv)); }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
using UniqueTaskMemory = UniqueHandle<TaskMemoryTraits>;
using UniqueArgv = UniqueHandle<ArgvTraits>;
