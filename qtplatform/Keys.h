#pragma once

#include <string>

// Labels of the items that the Qt layer keeps in the credential storage.
namespace Keys {

inline const std::wstring ProxyCredentials = L"com.Orvanta.Corvalis.ProxyCredentials";

}  // namespace Keys
