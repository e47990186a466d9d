#include "common/computerparams/ComputerParams.h"

#include <algorithm>
#include <cctype>

#include "common/util/Util.h"
#include "foundation/cryptography/MD5.h"
#include "platform/hardware/PlatformSerial.h"
#include "platform/locale/Locale.h"

namespace common {

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::vector<std::string> ComputerParams::_approvedLanguageIDs = {"en"};

ComputerParams::ComputerParams() {
    setValue("Lang", getCurrentLocale());
    setValue("HostId", getEncryptionHostId());
}

bool ComputerParams::isReadOnly() const {
    return true;
}

std::string ComputerParams::getValue(const std::string& key,
                                     const std::string& defaultValue) const {
    const auto found = _values.find(lowerCase(key));
    return found != _values.end() ? found->second : defaultValue;
}

bool ComputerParams::setValue(const std::string& key, std::string value) {
    _values[lowerCase(key)] = std::move(value);
    return true;
}

bool ComputerParams::hasValue(const std::string& key) const {
    return _values.count(lowerCase(key)) != 0;
}

bool ComputerParams::removeValue(const std::string& /*key*/) {
    return false;
}

std::set<std::string> ComputerParams::getKeys() const {
    return {"HostId", "Lang"};
}

bool ComputerParams::isLanguageApproved(const std::string& language) {
    return std::find(_approvedLanguageIDs.begin(), _approvedLanguageIDs.end(), language) !=
           _approvedLanguageIDs.end();
}

std::string ComputerParams::getCurrentLocale() {
    const std::vector<std::string> languages = standin::Locale::preferredLanguages();
    if (!languages.empty() && isLanguageApproved(languages.front().substr(0, 2))) {
        return languages.front();
    }
    return "en";
}

std::string ComputerParams::getEncryptionHostId() {
    const std::string serial = standin::PlatformSerial::read();
    cryptography::MD5 digest;
    digest.UpdateImpl(reinterpret_cast<const unsigned char*>(serial.data()), serial.size());
    const auto bytes = digest.ToByteBufferImpl();
    return util::toHex(std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

}  // namespace common
