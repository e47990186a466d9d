#pragma once

#include <rapidjson/document.h>

#include <boost/optional/optional.hpp>

#include "foundation/persistence/JsonTypes.h"
#include "foundation/persistence/MemberVariable.h"

namespace persistence {

// The writer archive: appends the members a record's Persist lists to one JSON object.
// After a member fails to convert, the status stays false and later members are skipped.
class JsonSerializationWriter {
public:
    JsonSerializationWriter(JsonValue& target, JsonAllocator& allocator)
        : m_target(target), m_allocator(allocator) {}

    template <std::size_t N, class T>
    JsonSerializationWriter& SerializeMember(const member_variable<N, T>& member) {
        if (!m_status) {
            return *this;
        }
        JsonValue value;
        m_status = JSONSerializer<T>()(member.value, value, m_allocator);
        if (m_status) {
            AppendMember(member.name, value);
        }
        return *this;
    }

    // An empty optional member is left out of the object.
    template <std::size_t N, class T>
    JsonSerializationWriter& SerializeMember(const member_variable<N, boost::optional<T>>& member) {
        if (!m_status || !member.value) {
            return *this;
        }
        JsonValue value;
        m_status = JSONSerializer<T>()(*member.value, value, m_allocator);
        if (m_status) {
            AppendMember(member.name, value);
        }
        return *this;
    }

    template <std::size_t N, class T>
    JsonSerializationWriter& operator&(const member_variable<N, T>& member) {
        return SerializeMember(member);
    }

    bool Status() const { return m_status; }

private:
    template <std::size_t N>
    void AppendMember(const char (&name)[N], JsonValue& value) {
        // The name is a literal that outlives the document: referenced, not copied.
        m_target.AddMember(JsonValue(rapidjson::StringRef(name, N - 1)), value, m_allocator);
    }

    JsonValue& m_target;
    JsonAllocator& m_allocator;
    bool m_status = true;
};

}  // namespace persistence
