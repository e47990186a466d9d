#pragma once

#include "common/credentialstorage/ICredentialStorage.h"

namespace common {
namespace credentialstorage {

// Keeps the pairs as generic-password items of the keychain: the label is the item's label,
// the user name its account and the password its secret, all as UTF-8. Holds no state; any
// thread may call it.
class CredentialStorage : public ICredentialStorage {
public:
    bool saveCredentials(const std::wstring& label, const std::wstring& account,
                         const std::wstring& password) const override;
    bool loadCredentials(const std::wstring& label, std::wstring& account,
                         std::wstring& password) const override;
};

}  // namespace credentialstorage
}  // namespace common
