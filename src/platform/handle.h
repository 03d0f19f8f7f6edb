// One move-only owner for every kind of Windows handle, parameterised by its close
// function and its invalid value. Copying does not compile; early returns close for free.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

// The invalid value is given as an integer: INVALID_HANDLE_VALUE is a pointer made from
// -1, which a template argument cannot be.
template <typename T, auto Close, intptr_t InvalidValue>
class UniqueHandle {
public:
    static T invalid() { return reinterpret_cast<T>(InvalidValue); }

    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != invalid(); }

    // Closes the held handle, keeping the caller's last error intact.
    void reset(T value = invalid())
    {
        if (value_ != invalid()) {
            DWORD savedError = GetLastError();
            Close(value_);
            SetLastError(savedError);
        }
        value_ = value;
    }

    T release()
    {
        T value = value_;
        value_ = invalid();
        return value;
    }

    // For functions that return a handle through an out parameter.
    T* put()
    {
        reset();
        return &value_;
    }

private:
    T value_ = invalid();
};

namespace handle_detail {
inline void closeHandle(HANDLE h) { CloseHandle(h); }
inline void closeFind(HANDLE h) { FindClose(h); }
inline void closeKey(HKEY h) { RegCloseKey(h); }
inline void closeService(SC_HANDLE h) { CloseServiceHandle(h); }
inline void freeLibrary(HMODULE h) { FreeLibrary(h); }
} // namespace handle_detail

// Handles whose invalid value is NULL: processes, threads, events, semaphores, pipes.
using UniqueHandleNull = UniqueHandle<HANDLE, handle_detail::closeHandle, 0>;
// Handles whose invalid value is INVALID_HANDLE_VALUE: files.
using UniqueFile = UniqueHandle<HANDLE, handle_detail::closeHandle, -1>;
using UniqueFind = UniqueHandle<HANDLE, handle_detail::closeFind, -1>;
using UniqueKey = UniqueHandle<HKEY, handle_detail::closeKey, 0>;
using UniqueServiceHandle = UniqueHandle<SC_HANDLE, handle_detail::closeService, 0>;
using UniqueModule = UniqueHandle<HMODULE, handle_detail::freeLibrary, 0>;
