#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/params/IParams.h"

namespace common {

// A read-only parameter layer with facts about the machine and its user, computed once at
// construction: "Lang", the language the programs speak to the user, and "HostId", a stable
// identifier of the hardware. Keys are case-insensitive.
class ComputerParams : public IParams {
public:
    ComputerParams();

    bool isReadOnly() const override;
    std::string getValue(const std::string& key, const std::string& defaultValue) const override;
    // Stores the value under the lower-cased key (the layered store never calls it, since the
    // layer is read-only).
    bool setValue(const std::string& key, std::string value) override;
    bool hasValue(const std::string& key) const override;
    // Changes nothing and answers false.
    bool removeValue(const std::string& key) override;
    // "HostId" and "Lang".
    std::set<std::string> getKeys() const override;

    // Whether the text equals (case-sensitively) one of the languages the programs offer.
    static bool isLanguageApproved(const std::string& language);

    // The user's first preferred language ("en-GB") when its first two characters are an
    // approved language, otherwise "en".
    static std::string getCurrentLocale();

    // The MD5 digest of the platform serial number (of the empty text when there is none) as
    // 32 lower-case hexadecimal digits.
    static std::string getEncryptionHostId();

    static std::vector<std::string> _approvedLanguageIDs;

private:
    std::map<std::string, std::string> _values;
};

}  // namespace common
