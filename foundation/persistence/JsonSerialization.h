#pragma once

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

#include "foundation/persistence/GuardedJsonParse.h"
#include "foundation/persistence/JSONDeserializer.h"
#include "foundation/persistence/JSONSerializer.h"
#include "foundation/persistence/JsonSerializationReader.h"
#include "foundation/persistence/JsonSerializationWriter.h"
#include "foundation/persistence/JsonTypes.h"
#include "foundation/persistence/MemberVariable.h"

namespace persistence {

// Writes the object into a RapidJSON writer (or any SAX handler) that the caller owns: a
// record as an object of its Persist members in order, any other kind as its own JSON value.
// Answers false when a member cannot be converted or the handler refuses the output.
template <class T, class Handler>
auto json_serialize(const T& object, Handler& writer)
    -> decltype(writer.EndObject(0u), writer.StartArray(), bool()) {
    rapidjson::Document document;
    if (!JSONSerializer<T>()(object, document, document.GetAllocator())) {
        return false;
    }
    return document.Accept(writer);
}

// Writes the object as compact JSON. On success the text is replaced; on failure it is left
// unchanged.
template <class T>
bool json_serialize(const T& object, std::string& text) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    if (!json_serialize(object, writer)) {
        return false;
    }
    text.assign(buffer.GetString(), buffer.GetSize());
    return true;
}

// Parses the text (strict JSON; the text ends at its first zero byte) and reads the object
// from it. A text that does not parse leaves the object untouched. Otherwise the answer is
// the reader's: a record needs an object, and its members are read as JsonSerializationReader
// describes, so on false the object may be partly updated and must be treated as invalid.
template <class T>
bool json_deserialize(const std::string& text, T& object) {
    rapidjson::Document document;
    // Nesting is not bounded here: nothing below recurses deeper than the record's own types.
    if (!ParseJsonGuarded(text.c_str(), document)) {
        return false;
    }
    return JSONDeserializer<T>()(document, object);
}

}  // namespace persistence
