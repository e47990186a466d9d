#pragma once

// The messages the daemon and the backend exchange over the backend WebSocket. Each is one JSON
// object whose first member is "Type"; every other member is a JSON string. Records are read
// and written by the persistence framework, in declaration order.

#include <boost/optional.hpp>
#include <string>

#include "foundation/persistence/MemberVariable.h"

namespace corvalis {
namespace unattended {

// The envelope: only "Type", to choose the record an incoming message is read as.
struct MessageType {
    std::string Type;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type);
    }
};

struct HeartBeatMsg {
    std::string Type = "Heartbeat";

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type);
    }
};

struct DownloadApplet {
    std::string Type = "DownloadApplet";
    std::string DownloadUrl;
    boost::optional<std::string> GetBinariesUrl;
    boost::optional<std::string> GetParamsUrl;
    boost::optional<std::string> Version;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type) &
            persistence::member_variable("DownloadUrl", DownloadUrl) &
            persistence::member_variable("GetBinariesUrl", GetBinariesUrl) &
            persistence::member_variable("GetParamsUrl", GetParamsUrl) &
            persistence::member_variable("Version", Version);
    }
};

struct CompanyTokenAccepted {
    std::string Type = "CompanyTokenAccepted";
    std::string DeviceToken;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type) &
            persistence::member_variable("DeviceToken", DeviceToken);
    }
};

struct DeviceTokenAccepted {
    std::string Type = "DeviceTokenAccepted";

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type);
    }
};

struct UpdateYourself {
    std::string Type = "UpdateYourself";
    std::string DownloadUrl;
    std::string NewVersion;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type) &
            persistence::member_variable("DownloadUrl", DownloadUrl) &
            persistence::member_variable("NewVersion", NewVersion);
    }
};

struct UninstallYourself {
    std::string Type = "UninstallYourself";

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type);
    }
};

struct SetDeviceName {
    std::string Type = "SetDeviceName";
    std::string DeviceName;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type) &
            persistence::member_variable("DeviceName", DeviceName);
    }
};

struct UninstallRequested {
    std::string Type = "UninstallRequested";

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type);
    }
};

struct UnattendedError {
    std::string Type = "UnattendedError";
    std::string Message;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("Type", Type) &
            persistence::member_variable("Message", Message);
    }
};

}  // namespace unattended
}  // namespace corvalis
