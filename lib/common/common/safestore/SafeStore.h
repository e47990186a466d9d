#pragma once

#include <map>
#include <set>
#include <string>

#include "common/safestore/ISafeStore.h"

namespace common {

// The parameter operations of a safe store over loadStore and saveStore: every operation reads
// the whole map afresh, and every change writes it back whole.
class SafeStore : public ISafeStore {
public:
    bool isReadOnly() const override;
    std::string getValue(const std::string& key, const std::string& defaultValue) const override;
    bool setValue(const std::string& key, std::string value) override;
    bool hasValue(const std::string& key) const override;
    // False, writing nothing, when the entry does not exist.
    bool removeValue(const std::string& key) override;
    std::set<std::string> getKeys() const override;
    void clear() override;
};

}  // namespace common
