#pragma once

#include <sys/types.h>

#include <boost/optional/optional.hpp>
#include <string>

namespace standin {

// The user at the console. The uid comes from <root>/var/run/console-user when that file holds
// one (a decimal number, surrounding white space allowed); otherwise from the active session of
// seat0 as logind records it under <root>/run/systemd (the seat's ACTIVE_UID, or the UID of its
// ACTIVE session); otherwise there is none.
class ConsoleUser {
public:
    static boost::optional<uid_t> uid();

    // A decimal uid with optional surrounding white space; none for anything else, for a value
    // beyond uid_t, and for (uid_t)-1, which names no user.
    static boost::optional<uid_t> parseUid(const std::string& text);
};

}  // namespace standin
