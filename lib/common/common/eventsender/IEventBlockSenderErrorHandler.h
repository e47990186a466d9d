#pragma once

#include <string>

namespace common {

// Told about upload errors; implemented by the daemon's application. Never deleted through
// this interface.
class IEventBlockSenderErrorHandler {
public:
    virtual void sendError(const std::string& error) const = 0;

protected:
    ~IEventBlockSenderErrorHandler() = default;
};

}  // namespace common
