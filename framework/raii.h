// One way to own what Windows hands out: each kind of resource is one line
// below, an owner that frees it when it goes. Owners move, never copy.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <utility>

namespace fw {

// The "no resource" value of a handle kind: null for most, INVALID_HANDLE_VALUE
// for the file handles that CreateFileW gives.
template <class T>
struct NullIsEmpty {
    static T Empty() { return T{}; }
};
struct InvalidHandleIsEmpty {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
};

template <class T, auto Close, class Policy = NullIsEmpty<T>>
class unique_any {
public:
    unique_any() = default;
    explicit unique_any(T value) : value_(value) {}
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }

    T get() const { return value_; }
    bool is_valid() const { return value_ != Policy::Empty(); }
    explicit operator bool() const { return is_valid(); }
    // Frees what it holds and takes `value` instead.
    void reset(T value = Policy::Empty()) {
        if (is_valid()) {
            Close(value_);
        }
        value_ = value;
    }
    // Gives up ownership without freeing.
    T release() { return std::exchange(value_, Policy::Empty()); }
    // For the calls that write a new resource through a pointer.
    T* put() {
        reset();
        return &value_;
    }

private:
    T value_ = Policy::Empty();
};

using unique_handle = unique_any<HANDLE, &CloseHandle>;  // events, threads
using unique_hfile = unique_any<HANDLE, &CloseHandle, InvalidHandleIsEmpty>;
using unique_hfind = unique_any<HANDLE, &FindClose, InvalidHandleIsEmpty>;  // FindFirstFileW
using unique_hmodule = unique_any<HMODULE, &FreeLibrary>;
using unique_hkey = unique_any<HKEY, &RegCloseKey>;
using unique_hglobal = unique_any<HGLOBAL, &GlobalFree>;
using unique_hmenu = unique_any<HMENU, &DestroyMenu>;
using unique_hicon = unique_any<HICON, &DestroyIcon>;
inline BOOL DeleteBrush(HBRUSH brush) {
    return DeleteObject(brush);
}
using unique_hbrush = unique_any<HBRUSH, &DeleteBrush>;

// A global memory block locked for the owner's life.
class unique_global_lock {
public:
    explicit unique_global_lock(HGLOBAL block)
        : block_(block), memory_(block != nullptr ? GlobalLock(block) : nullptr) {}
    ~unique_global_lock() {
        if (memory_ != nullptr) {
            GlobalUnlock(block_);
        }
    }
    unique_global_lock(const unique_global_lock&) = delete;
    unique_global_lock& operator=(const unique_global_lock&) = delete;

    void* get() const { return memory_; }
    template <class T>
    T* as() const {
        return static_cast<T*>(memory_);
    }
    // The block's size when it is locked, else 0.
    SIZE_T size() const { return memory_ != nullptr ? GlobalSize(block_) : 0; }

private:
    HGLOBAL block_;
    void* memory_;
};

// PROPVARIANTs that a property read fills, cleared when they go.
template <size_t N>
struct unique_prop_variants {
    PROPVARIANT values[N] = {};
    unique_prop_variants() = default;
    ~unique_prop_variants() {
        for (PROPVARIANT& value : values) {
            PropVariantClear(&value);
        }
    }
    unique_prop_variants(const unique_prop_variants&) = delete;
    unique_prop_variants& operator=(const unique_prop_variants&) = delete;
};

// Runs its function when the scope ends, unless dismissed.
template <class F>
class scope_exit {
public:
    explicit scope_exit(F function) : function_(std::move(function)) {}
    ~scope_exit() {
        if (armed_) {
            function_();
        }
    }
    scope_exit(const scope_exit&) = delete;
    scope_exit& operator=(const scope_exit&) = delete;
    void release() { armed_ = false; }

private:
    F function_;
    bool armed_ = true;
};

// A worker thread that owns its handle. Stop() first gives the thread a grace
// period to end by itself (it has been told to stop by its owner's flag and
// event); then, if given, cuts the thread's blocking call short and waits for
// it to end. The wait is replaceable, so that a thread that owns windows can
// keep answering the messages sent to it while it joins.
class CWorkerThread {
public:
    using Wait = std::function<DWORD(HANDLE thread, DWORD milliseconds)>;

    CWorkerThread() = default;
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // False when no thread could be made: the worker then stays absent.
    bool Start(LPTHREAD_START_ROUTINE procedure, void* parameter) {
        thread_.reset(CreateThread(nullptr, 0, procedure, parameter, 0, &id_));
        return thread_.is_valid();
    }
    void SetWait(Wait wait) { wait_ = std::move(wait); }
    bool IsRunning() const { return thread_.is_valid(); }
    DWORD Id() const { return id_; }

    void Stop(DWORD graceMilliseconds, void (*cutShort)()) {
        if (!thread_) {
            return;
        }
        if (WaitFor(graceMilliseconds) != WAIT_OBJECT_0) {
            if (cutShort != nullptr) {
                cutShort();
            }
            WaitFor(INFINITE);
        }
        thread_.reset();
    }

private:
    DWORD WaitFor(DWORD milliseconds) {
        return wait_ ? wait_(thread_.get(), milliseconds)
                     : WaitForSingleObjectEx(thread_.get(), milliseconds, FALSE);
    }

    unique_handle thread_;
    DWORD id_ = 0;
    Wait wait_;
};

}  // namespace fw
