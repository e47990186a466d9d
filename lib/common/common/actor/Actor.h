#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <utility>

#include "common/taskscheduler/ITaskQueue.h"

namespace common {

// A message-driven state holder for the state machine `T` that owns it.
//
// Each state of `T` is a member function that subscribes one handler per event type the state
// accepts. `became` installs a new state and `dispatch` hands an event to the current state's
// handler; both run as tasks of the actor's own queue (delay 0, priority 0), in the order of
// the calls. An event whose type the current state has not subscribed is discarded. `query`
// asks the current state synchronously on the calling thread.
//
// Destroying the actor drops every queued event and change of state: no handler and no state
// function runs once the destructor has begun.
template <typename T>
class Actor {
public:
    class ISubscription {
    public:
        virtual ~ISubscription() = default;
    };

    template <typename R, typename E>
    class Subscription : public ISubscription {
    public:
        using Handler = std::function<R(Actor<T>&, E)>;

        explicit Subscription(Handler handler) : _handler(std::move(handler)) {}
        R dispatch(Actor<T>& actor, E event) { return _handler(actor, std::move(event)); }

    private:
        Handler _handler;
    };

    using State = std::function<void(T*, Actor<T>&)>;
    template <typename A>
    using StateWith = std::function<void(T*, Actor<T>&, A)>;
    template <typename E>
    using Handler = std::function<void(Actor<T>&, E)>;
    template <typename R, typename E>
    using QueryHandler = std::function<R(Actor<T>&, E)>;

    Actor(T* owner, std::unique_ptr<ITaskQueue> queue) : _owner(owner), _queue(std::move(queue)) {}

    virtual ~Actor() {
        if (_queue) {
            _queue->finish([](bool&, unsigned long) {}, true);
        }
        _subscriptions.clear();
        _queue.reset();
    }

    Actor(const Actor&) = delete;
    Actor& operator=(const Actor&) = delete;

    // Queues the change to `state`: when the task runs, the old state's handlers are destroyed
    // and `state` is called to subscribe the new ones.
    void became(State state) {
        push([this, state = std::move(state)]() {
            _subscriptions.clear();
            state(_owner, *this);
        });
    }

    // The same for a state entered with an argument; the task keeps a copy of the argument.
    template <typename A>
    void became(typename std::common_type<StateWith<A>>::type state, A argument) {
        push([this, state = std::move(state), argument = std::move(argument)]() {
            _subscriptions.clear();
            state(_owner, *this, argument);
        });
    }

    // The handler of the events of type `E` in the current state; replaces an earlier one.
    template <typename E>
    void subscribe(typename std::common_type<Handler<E>>::type handler) {
        _subscriptions[std::type_index(typeid(E))] =
            std::make_shared<Subscription<void, E>>(std::move(handler));
    }

    // The handler of the queries of type `E` answering `R` in the current state.
    template <typename R, typename E>
    void subscribe(typename std::common_type<QueryHandler<R, E>>::type handler) {
        _subscriptions[std::type_index(typeid(E))] =
            std::make_shared<Subscription<R, E>>(std::move(handler));
    }

    // Queues the event for the state that is current when the task runs.
    template <typename E>
    void dispatch(E event) {
        push([this, event = std::move(event)]() {
            auto subscription = find<void, E>();
            if (subscription) {
                // The handler is kept alive even when it changes the subscriptions.
                subscription->dispatch(*this, event);
            }
        });
    }

    // Asks the current state at once; a value-initialised `R` when it takes no such query.
    template <typename R, typename E>
    R query(E event) {
        auto subscription = find<R, E>();
        if (!subscription) {
            return R();
        }
        return subscription->dispatch(*this, std::move(event));
    }

    // Runs the queued events and changes of state now, on the calling thread (at most
    // `limit` tasks, so work that keeps queueing more cannot hold the caller forever).
    void flush(int limit = 100) {
        if (_queue) {
            _queue->flush([this, &limit] { return limit-- > 0 && _queue->hasTask(); }, true);
        }
    }

private:
    template <typename R, typename E>
    std::shared_ptr<Subscription<R, E>> find() const {
        const auto found = _subscriptions.find(std::type_index(typeid(E)));
        if (found == _subscriptions.end()) {
            return nullptr;
        }
        return std::dynamic_pointer_cast<Subscription<R, E>>(found->second);
    }

    template <typename F>
    void push(F work) {
        if (!_queue) {
            return;
        }
        // The task is copied by the scheduler; the work is shared so that move-only captures
        // and large events are not copied.
        auto shared = std::make_shared<F>(std::move(work));
        _queue->push([shared](bool&, unsigned long) { (*shared)(); }, std::chrono::milliseconds(0),
                     ITaskQueue::Normal);
    }

    T* _owner;
    std::unique_ptr<ITaskQueue> _queue;
    std::map<std::type_index, std::shared_ptr<ISubscription>> _subscriptions;
};

}  // namespace common
