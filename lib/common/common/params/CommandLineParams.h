#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/params/IParams.h"

namespace common {

// Read-only layer over a program's arguments: "-Name value" pairs and "-Flag" switches
// (value "1"). Names are case-insensitive and kept in lower case; values keep their case.
class CommandLineParams : public IParams {
public:
    // The arguments with the program path first.
    explicit CommandLineParams(const std::vector<std::string>& arguments);

    bool isReadOnly() const override;
    std::string getValue(const std::string& key, const std::string& defaultValue) const override;
    bool setValue(const std::string& key, std::string value) override;
    bool hasValue(const std::string& key) const override;
    bool removeValue(const std::string& key) override;
    std::set<std::string> getKeys() const override;

private:
    std::map<std::string, std::string> _values;
};

}  // namespace common
