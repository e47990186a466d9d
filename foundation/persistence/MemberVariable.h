#pragma once

#include <cstddef>

namespace persistence {

// One named member of a record, as a record's Persist lists it for the JSON archives:
//
//     template <class Archive>
//     void Persist(Archive& archive) {
//         archive & persistence::member_variable("id", id) &
//             persistence::member_variable("json", json);
//     }
//
// The name must be a string literal; it is used unchanged (case-sensitive) as the JSON key and
// is referenced, not copied, while a record is written. N is the size of the literal including
// its terminating zero.
template <std::size_t N, class T>
struct member_variable {
    member_variable(const char (&memberName)[N], T& memberValue)
        : name(memberName), value(memberValue) {}

    const char (&name)[N];
    T& value;

    // Length of the name without the terminating zero.
    static constexpr std::size_t NameLength() { return N - 1; }
};

template <std::size_t N, class T>
member_variable<N, T> make_member_variable(const char (&name)[N], T& value) {
    return member_variable<N, T>(name, value);
}

}  // namespace persistence
