#pragma once

#include <atomic>
#include <map>
#include <set>

namespace common {

// A set of non-owning listener pointers and a notification that calls one member function of
// each. A listener unsubscribed while a notification runs is skipped from that moment on, in
// the running notification as in later ones. All calls happen on one thread (the main thread).
template <typename T>
class Observable {
public:
    Observable() = default;
    virtual ~Observable() = default;
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    // Adds the client, or makes a client unsubscribed during a notification active again. A
    // null client is ignored.
    void subscribe(T* client) {
        if (client == nullptr) {
            return;
        }
        _clients.insert(client);
        _unsubscribed[client] = false;
    }

    // Removes the client; during a notification it is only marked, so that the running
    // notification (which walks the set) skips it.
    void unsubscribe(T* client) {
        if (_depth.load() <= 0) {
            _clients.erase(client);
            _unsubscribed.erase(client);
        } else {
            _unsubscribed[client] = true;
        }
    }

    // Whether the client was unsubscribed during a notification and not subscribed again.
    bool isUnsubscribed(T* client) const {
        const auto mark = _unsubscribed.find(client);
        return mark != _unsubscribed.end() && mark->second;
    }

    // Calls the member function with the arguments on every active client, in the set's
    // (pointer) order. A client subscribed meanwhile may or may not be called this time.
    template <typename... Params, typename... Args>
    void notifyClients(void (T::*method)(Params...), Args&&... args) {
        DepthGuard guard(_depth);
        for (auto it = _clients.begin(); it != _clients.end(); ++it) {
            T* const client = *it;
            if (isUnsubscribed(client)) {
                continue;
            }
            (client->*method)(args...);
        }
    }

    // The same for a const member function of the clients.
    template <typename... Params, typename... Args>
    void notifyClients(void (T::*method)(Params...) const, Args&&... args) {
        DepthGuard guard(_depth);
        for (auto it = _clients.begin(); it != _clients.end(); ++it) {
            const T* const client = *it;
            if (isUnsubscribed(*it)) {
                continue;
            }
            (client->*method)(args...);
        }
    }

private:
    class DepthGuard {
    public:
        explicit DepthGuard(std::atomic<int>& depth) : _depth(depth) { ++_depth; }
        ~DepthGuard() { --_depth; }
        DepthGuard(const DepthGuard&) = delete;
        DepthGuard& operator=(const DepthGuard&) = delete;

    private:
        std::atomic<int>& _depth;
    };

    std::set<T*> _clients;
    std::map<T*, bool> _unsubscribed;
    std::atomic<int> _depth{0};
};

}  // namespace common
