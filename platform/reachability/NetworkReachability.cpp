#include "platform/reachability/NetworkReachability.h"

#include <fstream>

#include <boost/filesystem/operations.hpp>

#include "platform/systemroot/SystemRoot.h"

namespace standin {

std::string NetworkReachability::markerFile() {
    return SystemRoot::resolve("/var/run/network-unreachable").string();
}

bool NetworkReachability::getFlags(uint32_t& flags) {
    boost::system::error_code error;
    const auto status = boost::filesystem::status(markerFile(), error);
    if (!boost::filesystem::exists(status)) {
        flags = Reachable;
        return true;
    }
    std::ifstream in(markerFile());
    std::string word;
    in >> word;
    flags = word == "connection-required" ? (Reachable | ConnectionRequired) : 0u;
    return true;
}

NetworkReachability::NetworkReachability(Callback callback) : _callback(std::move(callback)) {}

void NetworkReachability::checkForChanges() {
    uint32_t flags = 0;
    if (!getFlags(flags)) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_known && flags == _flags) {
            return;
        }
        _known = true;
        _flags = flags;
    }
    if (_callback) {
        _callback(flags);
    }
}

}  // namespace standin
