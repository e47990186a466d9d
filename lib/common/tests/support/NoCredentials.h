#pragma once

#include <string>

#include "common/credentialstorage/ICredentialStorage.h"

namespace testsupport {

// A credential store that holds nothing and keeps nothing.
class NoCredentials : public common::credentialstorage::ICredentialStorage {
public:
    bool saveCredentials(const std::wstring&, const std::wstring&,
                         const std::wstring&) const override {
        return false;
    }
    bool loadCredentials(const std::wstring&, std::wstring&, std::wstring&) const override {
        return false;
    }
};

}  // namespace testsupport
