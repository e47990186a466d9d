// Must not compile: an enumeration without a fixed underlying type as a JSON member. Reading a
// value outside its declared ones would be undefined behaviour.

#include <string>

#include "foundation/persistence/JsonSerialization.h"

namespace {

enum Colour { Red, Green };

struct Paint {
    Colour colour = Red;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("colour", colour);
    }
};

}  // namespace

bool roundTrip(const std::string& text) {
    Paint paint;
    std::string written;
    return persistence::json_deserialize(text, paint) &&
           persistence::json_serialize(paint, written);
}
