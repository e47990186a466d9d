#pragma once

#include <rapidjson/document.h>

#include "foundation/persistence/JsonTypes.h"
#include "foundation/persistence/MemberVariable.h"

namespace persistence {

// The reader archive: reads the members a record's Persist lists from one JSON object.
// A missing member keeps its value; a member that does not convert makes the status false,
// but later members are still read, so a failed read leaves the record partly updated and
// the caller must treat it as invalid.
class JsonSerializationReader {
public:
    explicit JsonSerializationReader(const JsonValue& source) : m_source(source) {}

    template <std::size_t N, class T>
    JsonSerializationReader& operator&(const member_variable<N, T>& member) {
        if (!m_source.IsObject()) {
            m_status = false;
            return *this;
        }
        // The first member of that name counts; comparison is byte-wise.
        const auto found = m_source.FindMember(JsonValue(rapidjson::StringRef(member.name, N - 1)));
        if (found == m_source.MemberEnd()) {
            return *this;
        }
        const bool converted = JSONDeserializer<T>()(found->value, member.value);
        m_status = m_status && converted;
        return *this;
    }

    bool Status() const { return m_status; }

private:
    const JsonValue& m_source;
    bool m_status = true;
};

}  // namespace persistence
