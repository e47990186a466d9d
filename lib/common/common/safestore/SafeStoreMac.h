#pragma once

#include <openssl/evp.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "common/safestore/SafeStore.h"

namespace common {

// The safe store kept in the parameter "Encrypted" of a backing store: the Base64 text of the
// AES-256-CBC encryption (PKCS#7 padding) of the map's compact JSON text, one string member per
// entry in ascending key order. Key and initialisation vector come from EVP_BytesToKey (SHA-1,
// 5 rounds) over the key material, salted with the salt folded into 8 bytes. Every encryption
// starts from the same key and vector, so the same map always gives the same stored text.
//
// Content that cannot be read (not Base64, not decryptable with this key, not a map of texts)
// is reported with a warning and reads as an empty map; the next write replaces it.
class SafeStoreMac : public SafeStore {
public:
    SafeStoreMac(IParams& params, const std::vector<unsigned char>& keyMaterial,
                 const std::vector<unsigned char>& salt);
    ~SafeStoreMac() override;

    std::map<std::string, std::string> loadStore() const override;
    bool saveStore(const std::map<std::string, std::string>& map) override;

    // The salt folded into 8 bytes: salt byte i combined into byte i mod 8 with exclusive or.
    static std::vector<unsigned char> foldSalt(const std::vector<unsigned char>& salt);

private:
    struct ContextDeleter {
        void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
    };
    using Context = std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter>;

    // Runs the cipher of a copy of `prototype` over the whole input. False when the cipher
    // fails, the final step included (wrong key, damaged content).
    bool transform(const EVP_CIPHER_CTX* prototype, bool encrypt, const unsigned char* input,
                   std::size_t length, std::vector<unsigned char>& output) const;

    IParams& _params;
    // Room added to every cipher output buffer beyond the input length.
    const std::size_t _outputAllowance = 32;
    Context _encryptContext;
    Context _decryptContext;
    bool _ready = false;
    std::unique_ptr<ILogger> _logger;
};

}  // namespace common
