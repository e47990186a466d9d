#pragma once

namespace common {

template <typename Owner, typename State, typename Event>
class FiniteStateMachine;

// Hears what a finite state machine does: the events it is about to handle, the changes of
// its state and the events that no row of its table accepts. Called with the machine's lock
// held, on the thread that called `Do`.
template <typename Owner, typename State, typename Event>
class FiniteStateMachineDelegate {
public:
    using Machine = FiniteStateMachine<Owner, State, Event>;

    virtual ~FiniteStateMachineDelegate() = default;

    virtual void finiteStateMachineDidChangeState(const Machine& machine, const State& oldState,
                                                  const State& newState) const = 0;
    virtual void finiteStateMachineWillDoEvent(const Machine& machine, const State& state,
                                               const Event& event) const = 0;
    virtual void finiteStateMachineDroppedEvent(const Machine& machine, const State& state,
                                                const Event& event) const = 0;
};

}  // namespace common
