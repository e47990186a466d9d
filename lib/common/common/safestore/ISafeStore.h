#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/params/IParams.h"

namespace common {

// A parameter store for secrets: its whole key-value map is kept encrypted in the parameter
// "Encrypted" of another parameter store.
class ISafeStore : public IParams {
public:
    // Removes every entry (the stored value then holds an encrypted empty map).
    virtual void clear() = 0;
    // The whole map as stored; empty when there is none or it cannot be read.
    virtual std::map<std::string, std::string> loadStore() const = 0;
    // Replaces the stored map; false when it could not be written.
    virtual bool saveStore(const std::map<std::string, std::string>& map) = 0;

    // A store over `params` (which must outlive it), encrypted with a key derived from the key
    // material and the salt.
    static std::unique_ptr<ISafeStore> create(IParams& params,
                                              const std::vector<unsigned char>& keyMaterial,
                                              const std::vector<unsigned char>& salt);
};

}  // namespace common
