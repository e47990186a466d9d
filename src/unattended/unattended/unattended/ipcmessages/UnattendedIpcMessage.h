#pragma once

// The messages between the daemon and the UI agent. Both programs compile these definitions;
// the order of the variant's alternatives is part of the protocol (the first one is what an
// unusable text reads as).

#include <boost/optional/optional.hpp>
#include <boost/variant/variant.hpp>

#include <cstdint>
#include <string>

#include "foundation/persistence/MemberVariable.h"
#include "interprocess/ipcmessage/AbstractIpcMessage.h"

namespace corvalis {
namespace unattended {
namespace ipcmessages {

// A secret text. Its JSON form {"sensitive": text} is what the logger masks.
template <class T>
struct Sensitive {
    T sensitive;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("sensitive", sensitive);
    }
    bool operator==(const Sensitive& other) const { return sensitive == other.sensitive; }
};

struct HideIcon {
    template <class Archive>
    void Persist(Archive&) {}
};

struct QuitRequest {
    template <class Archive>
    void Persist(Archive&) {}
};

struct CustomerJoinSessionRequest {
    std::string pinCode;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("pinCode", pinCode);
    }
};

struct CustomerUninstallRequest {
    template <class Archive>
    void Persist(Archive&) {}
};

struct OSCloseRequest {
    template <class Archive>
    void Persist(Archive&) {}
};

struct SessionStateChanged {
    bool sessionIsRunning = false;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("sessionIsRunning", sessionIsRunning);
    }
};

struct AppletDownloadStatus {
    enum class Status : int32_t {};
    Status status{};

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("status", status);
    }
};

struct StoreAutologonCredentials {
    boost::optional<Sensitive<std::wstring>> username;
    boost::optional<Sensitive<std::wstring>> password;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("username", username) &
            persistence::member_variable("password", password);
    }
};

struct RevokeAutologonCredentials {
    template <class Archive>
    void Persist(Archive&) {}
};

struct AutologonCredentialsStored {
    template <class Archive>
    void Persist(Archive&) {}
};

struct AutologonCredentialsRevoked {
    template <class Archive>
    void Persist(Archive&) {}
};

struct ProxyPasswordRequest {
    std::string description;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("description", description);
    }
};

struct ProxyPasswordResponse {
    std::wstring username;
    std::wstring password;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("username", username) &
            persistence::member_variable("password", password);
    }
};

using UnattendedIpcVariant =
    boost::variant<HideIcon, QuitRequest, CustomerJoinSessionRequest, CustomerUninstallRequest,
                   OSCloseRequest, SessionStateChanged, AppletDownloadStatus,
                   StoreAutologonCredentials, RevokeAutologonCredentials,
                   AutologonCredentialsStored, AutologonCredentialsRevoked, ProxyPasswordRequest,
                   ProxyPasswordResponse>;

}  // namespace ipcmessages

using UnattendedIpcMessage = interprocess::AbstractIpcMessage<ipcmessages::UnattendedIpcVariant>;

}  // namespace unattended
}  // namespace corvalis
