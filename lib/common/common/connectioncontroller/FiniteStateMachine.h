#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#include "common/connectioncontroller/FiniteStateMachineDelegate.h"
#include "common/delegate/Delegate.h"

namespace common {

// A table-driven state machine: rows (state, event) -> member function of the owner, which does
// the work of the transition and returns the next state. Events may carry arguments; a row
// accepts an event only when its handler takes exactly the (decayed) argument types given to
// `Do`. The machine logs nothing; its delegate hears of every handled, changed and dropped
// event.
//
// One recursive lock guards the state and the table and is held for the whole of `Do`, so
// handlers and the delegate may read the state or call `Do` again on the same thread.
template <typename Owner, typename State, typename Event>
class FiniteStateMachine : public Delegate<FiniteStateMachineDelegate<Owner, State, Event>> {
public:
    class IFunctionPointer {
    public:
        virtual ~IFunctionPointer() = default;
    };

    // A handler bound to the owner, taking the event's arguments by value.
    template <typename... Args>
    class FunctionPointerN : public IFunctionPointer {
    public:
        explicit FunctionPointerN(std::function<State(Args...)> function)
            : _function(std::move(function)) {}
        State call(Args... args) const { return _function(std::move(args)...); }

    private:
        std::function<State(Args...)> _function;
    };

    using FunctionPointer0 = FunctionPointerN<>;
    template <typename A>
    using FunctionPointer1 = FunctionPointerN<A>;
    template <typename A, typename B>
    using FunctionPointer2 = FunctionPointerN<A, B>;
    template <typename A, typename B, typename C, typename D>
    using FunctionPointer4 = FunctionPointerN<A, B, C, D>;

    FiniteStateMachine(Owner* owner, const State& initialState)
        : _owner(owner), _state(initialState) {}
    ~FiniteStateMachine() override { this->setDelegate(nullptr); }

    FiniteStateMachine(const FiniteStateMachine&) = delete;
    FiniteStateMachine& operator=(const FiniteStateMachine&) = delete;

    // Puts a handler into the row (state, event); a handler the row held before is destroyed.
    void add(const State& state, const Event& event, State (Owner::*function)()) {
        Owner* owner = _owner;
        put(state, event,
            std::make_unique<FunctionPointer0>([owner, function] { return (owner->*function)(); }));
    }

    template <typename... Args>
    void add(const State& state, const Event& event, State (Owner::*function)(Args...)) {
        Owner* owner = _owner;
        put(state, event,
            std::make_unique<FunctionPointerN<std::decay_t<Args>...>>(
                [owner, function](std::decay_t<Args>... args) {
                    return (owner->*function)(std::move(args)...);
                }));
    }

    // Handles `event` with `args` in the current state: runs the row's handler and moves to the
    // state it returns, or reports the event as dropped when no row accepts it. Dropped
    // arguments are destroyed unused.
    template <typename... Args>
    void Do(const Event& event, Args... args) {
        std::lock_guard<std::recursive_mutex> lock(_lock);
        using Handler = FunctionPointerN<std::decay_t<Args>...>;
        const auto* handler = dynamic_cast<const Handler*>(getFunctionPointer(event));
        auto* delegate = this->getDelegate();
        if (handler == nullptr) {
            if (delegate != nullptr) {
                delegate->finiteStateMachineDroppedEvent(*this, _state, event);
            }
            return;
        }
        if (delegate != nullptr) {
            delegate->finiteStateMachineWillDoEvent(*this, _state, event);
        }
        setState(handler->call(std::move(args)...));
    }

    // Stores the state; the delegate hears of it only when it differs from the state before.
    void setState(const State& state) {
        std::lock_guard<std::recursive_mutex> lock(_lock);
        const State old = _state;
        _state = state;
        if (!(old == state)) {
            if (auto* delegate = this->getDelegate()) {
                delegate->finiteStateMachineDidChangeState(*this, old, state);
            }
        }
    }

    State getState() const {
        std::lock_guard<std::recursive_mutex> lock(_lock);
        return _state;
    }

    // The handler of the row (current state, event), or null when there is no such row.
    const IFunctionPointer* getFunctionPointer(const Event& event) const {
        std::lock_guard<std::recursive_mutex> lock(_lock);
        const auto row = _table.find(_state);
        if (row == _table.end()) {
            return nullptr;
        }
        const auto cell = row->second.find(event);
        return cell == row->second.end() ? nullptr : cell->second.get();
    }

private:
    void put(const State& state, const Event& event, std::unique_ptr<IFunctionPointer> handler) {
        std::lock_guard<std::recursive_mutex> lock(_lock);
        _table[state][event] = std::move(handler);
    }

    Owner* _owner;
    State _state;
    std::map<State, std::map<Event, std::unique_ptr<IFunctionPointer>>> _table;
    mutable std::recursive_mutex _lock;
};

}  // namespace common
