#pragma once

#include <rapidjson/document.h>

namespace persistence {

// The JSON value and allocator every converter works with: values of one RapidJSON document,
// allocated from its memory pool.
using JsonValue = rapidjson::Value;
using JsonAllocator = rapidjson::Document::AllocatorType;

// One converter per member kind (JSONSerializer.h, JSONDeserializer.h).
//   JSONSerializer<T>()(const T& object, JsonValue& out, JsonAllocator& allocator) -> bool
//   JSONDeserializer<T>()(const JsonValue& in, T& object) -> bool
template <class T, class Enable = void>
struct JSONSerializer;
template <class T, class Enable = void>
struct JSONDeserializer;

}  // namespace persistence
