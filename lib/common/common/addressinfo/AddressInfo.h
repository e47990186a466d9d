#pragma once

#include <memory>
#include <string>

#include "common/logger/ILogger.h"
#include "foundation/platform/SystemSources.h"

namespace common {

// The network identity of the machine for the device description: link-layer addresses, host
// name, IPv4 addresses and the platform serial number. Every getter queries the system afresh
// and answers UTF-8 text; a query that fails gives an empty text.
class AddressInfo {
public:
    AddressInfo();
    // Reads from other sources than the running system (tests).
    explicit AddressInfo(platform::SystemSources sources);
    ~AddressInfo();

    // The link-layer addresses of the non-loopback interfaces, each as 16 lower-case hexadecimal
    // digits (the 6 address bytes and two zero bytes), all-zero ones left out, joined by ", ".
    std::string getAllMacAddresses() const;
    // The user-facing name of the computer: PRETTY_HOSTNAME of /etc/machine-info, else the host
    // name.
    std::string getHostName() const;
    // The IPv4 addresses of all interfaces in dotted decimal, except those beginning with "127",
    // joined by ",".
    std::string getIpAddress() const;
    // The platform serial number (standin::PlatformSerial).
    std::string getBiosSerialNumber() const;

private:
    platform::SystemSources _sources;
    std::unique_ptr<ILogger> _logger;
};

}  // namespace common
