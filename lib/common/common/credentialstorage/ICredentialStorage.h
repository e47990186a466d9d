#pragma once

#include <string>

namespace common {
namespace credentialstorage {

// Pairs of user name and password kept across restarts, one pair per label.
class ICredentialStorage {
public:
    virtual ~ICredentialStorage() = default;

    // Stores the pair under the label, replacing a pair stored there before. False when it
    // could not be stored; the previous pair then stays as it was.
    virtual bool saveCredentials(const std::wstring& label, const std::wstring& account,
                                 const std::wstring& password) const = 0;
    // The pair stored under the label. False, with both outputs unchanged, when there is none
    // or it cannot be read.
    virtual bool loadCredentials(const std::wstring& label, std::wstring& account,
                                 std::wstring& password) const = 0;
};

}  // namespace credentialstorage
}  // namespace common
