#include "common/credentialstorage/CredentialStorage.h"

#include "common/util/Util.h"
#include "platform/keychain/Keychain.h"

namespace common {
namespace credentialstorage {

bool CredentialStorage::saveCredentials(const std::wstring& label, const std::wstring& account,
                                        const std::wstring& password) const {
    try {
        standin::KeychainItem item;
        item.itemClass = standin::KeychainItemClass::GenericPassword;
        item.label = util::toString(label);
        item.account = util::toString(account);
        item.secret = util::toString(password);
        // The new item replaces the old one in a single step, so a save that fails part way
        // leaves the previous pair in place instead of losing it.
        return standin::Keychain::storeItem(item) == standin::errSecSuccess;
    } catch (...) {
        return false;
    }
}

bool CredentialStorage::loadCredentials(const std::wstring& label, std::wstring& account,
                                        std::wstring& password) const {
    try {
        standin::KeychainItem item;
        if (standin::Keychain::findGenericPassword(util::toString(label), item) !=
            standin::errSecSuccess) {
            return false;
        }
        // Both outputs are taken from one reading of the item and set together.
        std::wstring loadedAccount = util::toWideString(item.account);
        std::wstring loadedPassword = util::toWideString(item.secret);
        account.swap(loadedAccount);
        password.swap(loadedPassword);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace credentialstorage
}  // namespace common
