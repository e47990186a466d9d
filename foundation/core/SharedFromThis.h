#pragma once

#include <memory>

namespace core {

// Base of objects whose asynchronous operations keep them alive: an operation takes a strong
// reference from the object's weak self reference. The object must already be owned by a
// std::shared_ptr; otherwise taking the reference throws std::bad_weak_ptr.
class SharedFromThis : public std::enable_shared_from_this<SharedFromThis> {
public:
    virtual ~SharedFromThis() = default;

protected:
    SharedFromThis() = default;
    SharedFromThis(const SharedFromThis&) = default;
    SharedFromThis& operator=(const SharedFromThis&) = default;

    template <typename Derived>
    std::shared_ptr<Derived> SharedFromThisAs() {
        return std::static_pointer_cast<Derived>(shared_from_this());
    }
    template <typename Derived>
    std::shared_ptr<const Derived> SharedFromThisAs() const {
        return std::static_pointer_cast<const Derived>(shared_from_this());
    }
    template <typename Derived>
    std::weak_ptr<Derived> WeakFromThisAs() {
        return std::static_pointer_cast<Derived>(weak_from_this().lock());
    }
};

}  // namespace core
