#pragma once

#include <atomic>

namespace common {

// Holds one non-owning pointer to a component's delegate. The pointer is read and written
// atomically; the delegate is owned elsewhere and must outlive its registration.
template <typename T>
class Delegate {
public:
    Delegate() = default;
    virtual ~Delegate() { _delegate.exchange(nullptr); }
    Delegate(const Delegate&) = delete;
    Delegate& operator=(const Delegate&) = delete;

    virtual bool hasDelegate() const { return _delegate.load() != nullptr; }
    virtual T* getDelegate() { return _delegate.load(); }
    virtual T* getDelegate() const { return _delegate.load(); }
    // Replaces the delegate; null clears it.
    virtual void setDelegate(T* delegate) { _delegate.exchange(delegate); }

private:
    std::atomic<T*> _delegate{nullptr};
};

}  // namespace common
