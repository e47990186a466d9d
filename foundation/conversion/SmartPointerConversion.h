#pragma once

#include <memory>

#include <boost/shared_ptr.hpp>

namespace conversion {

namespace detail {

// Deleter that keeps the other library's owner alive for as long as the converted pointer lives.
template <typename Owner>
struct OwnerHoldingDeleter {
    Owner owner;
    template <typename T>
    void operator()(T*) {
        owner.reset();
    }
};

}  // namespace detail

// A boost::shared_ptr sharing ownership with `pointer`. A std::shared_ptr that was itself made
// from a boost::shared_ptr by to_std_ptr gives back that boost::shared_ptr.
template <typename T>
boost::shared_ptr<T> to_boost_ptr(const std::shared_ptr<T>& pointer) {
    if (!pointer) {
        return boost::shared_ptr<T>();
    }
    using Wrapped = detail::OwnerHoldingDeleter<boost::shared_ptr<T>>;
    if (Wrapped* wrapped = std::get_deleter<Wrapped>(pointer)) {
        if (wrapped->owner.get() == pointer.get()) {
            return wrapped->owner;
        }
    }
    return boost::shared_ptr<T>(pointer.get(),
                                detail::OwnerHoldingDeleter<std::shared_ptr<T>>{pointer});
}

// The std::shared_ptr counterpart of to_boost_ptr.
template <typename T>
std::shared_ptr<T> to_std_ptr(const boost::shared_ptr<T>& pointer) {
    if (!pointer) {
        return std::shared_ptr<T>();
    }
    using Wrapped = detail::OwnerHoldingDeleter<std::shared_ptr<T>>;
    if (Wrapped* wrapped = boost::get_deleter<Wrapped>(pointer)) {
        if (wrapped->owner.get() == pointer.get()) {
            return wrapped->owner;
        }
    }
    return std::shared_ptr<T>(pointer.get(),
                              detail::OwnerHoldingDeleter<boost::shared_ptr<T>>{pointer});
}

}  // namespace conversion
