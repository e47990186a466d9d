#pragma once

#include <boost/variant/get.hpp>
#include <boost/variant/variant.hpp>

#include <string>
#include <utility>

#include "foundation/persistence/JsonSerialization.h"

namespace interprocess {

// A typed message between two programs: one alternative of a variant of records, carried as
// the JSON text {"message": <variant>} (the alternative's members followed by "$" with the
// record's name). A text that cannot be used reads as the first alternative.
template <class Variant>
class AbstractIpcMessage {
public:
    AbstractIpcMessage() = default;
    template <class Record>
    AbstractIpcMessage(Record record) : message(std::move(record)) {}

    // The JSON text; empty when it cannot be written.
    static std::string ToString(const AbstractIpcMessage& value) {
        std::string text;
        if (!persistence::json_serialize(value, text)) {
            return std::string();
        }
        return text;
    }

    // The message of a text; the first alternative when the text is unusable (not JSON, not an
    // object, no "message", an unknown record name, a member of the wrong kind).
    static AbstractIpcMessage FromString(const std::string& text) {
        AbstractIpcMessage value;
        if (!persistence::json_deserialize(text, value)) {
            return AbstractIpcMessage();
        }
        return value;
    }

    // Calls `handler` with the record when the message holds a `Record`; whether it did.
    template <class Record, class Handler>
    bool Handle(Handler&& handler) const {
        const Record* record = boost::get<Record>(&message);
        if (record == nullptr) {
            return false;
        }
        handler(*record);
        return true;
    }

    template <class Record>
    bool Holds() const {
        return boost::get<Record>(&message) != nullptr;
    }

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("message", message);
    }

    Variant message;
};

}  // namespace interprocess
