#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>

#include "foundation/persistence/JsonTypes.h"

namespace common {
namespace metrics {

// The value of one attribute of a metric record.
using AttributeValue =
    std::variant<uint32_t, int32_t, int64_t, uint64_t, float, double, std::string>;
using Attributes = std::map<std::string, AttributeValue>;

// One named measurement for the monitoring service.
struct Record {
    std::string tag;
    Attributes attributes;

    // Makes `value` an object: "tag" first, then one member per attribute in name order;
    // integers as JSON integers, float and double as JSON numbers, texts as strings.
    bool ToJSON(persistence::JsonValue& value, persistence::JsonAllocator& allocator) const;
    // Reads the members of a JSON object in document order: "tag" (a string) sets the tag, any
    // other member sets the attribute of its name. A number becomes the first of unsigned
    // 32-bit, signed 32-bit, unsigned 64-bit, signed 64-bit that holds it, else a double.
    // False at the first member that no attribute can hold (true, false, null, array, object)
    // or a "tag" that is not a string; the members read before it stay.
    bool FromJSON(const persistence::JsonValue& value);

    // MetricsRecord{tag=<tag>, attributes={<name>="<value>", ...}}
    std::string toString() const;

    bool operator==(const Record& other) const {
        return tag == other.tag && attributes == other.attributes;
    }
    bool operator!=(const Record& other) const { return !(*this == other); }
};

}  // namespace metrics
}  // namespace common
