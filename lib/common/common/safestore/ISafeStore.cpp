#include "common/safestore/ISafeStore.h"

#include "common/safestore/SafeStoreMac.h"

namespace common {

std::unique_ptr<ISafeStore> ISafeStore::create(IParams& params,
                                               const std::vector<unsigned char>& keyMaterial,
                                               const std::vector<unsigned char>& salt) {
    return std::make_unique<SafeStoreMac>(params, keyMaterial, salt);
}

}  // namespace common
