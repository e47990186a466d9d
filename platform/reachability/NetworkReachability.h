#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace standin {

// Reachability of the default route. The network counts as reachable unless the file
// <system root>/var/run/network-unreachable exists; when that file holds the word
// "connection-required" the route is reachable only once a connection has been made.
class NetworkReachability {
public:
    enum Flags : uint32_t {
        Reachable = 1u << 1,
        ConnectionRequired = 1u << 2,
    };
    using Callback = std::function<void(uint32_t flags)>;

    static std::string markerFile();
    // The current flags; false when they cannot be read.
    static bool getFlags(uint32_t& flags);

    // Change notifications: `callback` is called with the new flags from `checkForChanges`
    // when they differ from the flags seen last.
    explicit NetworkReachability(Callback callback);
    void checkForChanges();

private:
    Callback _callback;
    std::mutex _mutex;
    bool _known = false;
    uint32_t _flags = 0;
};

}  // namespace standin
