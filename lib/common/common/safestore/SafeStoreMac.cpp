#include "common/safestore/SafeStoreMac.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <climits>

#include "common/util/Util.h"
#include "foundation/persistence/JsonSerialization.h"

namespace common {

namespace {

const char* const kStoreKey = "Encrypted";
constexpr int kKeyLength = 32;
constexpr int kIvLength = 16;
constexpr int kRounds = 5;

}  // namespace

SafeStoreMac::SafeStoreMac(IParams& params, const std::vector<unsigned char>& keyMaterial,
                           const std::vector<unsigned char>& salt)
    : _params(params),
      _encryptContext(EVP_CIPHER_CTX_new()),
      _decryptContext(EVP_CIPHER_CTX_new()),
      _logger(ILogger::create("SafeStore")) {
    const std::vector<unsigned char> folded = foldSalt(salt);
    unsigned char key[kKeyLength] = {};
    unsigned char iv[kIvLength] = {};
    // EVP_BytesToKey derives nothing from a null data pointer, so empty key material is passed
    // as an empty range that is not null.
    static const unsigned char noData = 0;
    const unsigned char* data = keyMaterial.empty() ? &noData : keyMaterial.data();
    const int derived = EVP_BytesToKey(
        EVP_aes_256_cbc(), EVP_sha1(), folded.data(), data,
        static_cast<int>(std::min<std::size_t>(keyMaterial.size(), INT_MAX)), kRounds, key, iv);
    _ready = derived == kKeyLength && keyMaterial.size() <= INT_MAX && _encryptContext &&
             _decryptContext &&
             EVP_EncryptInit_ex(_encryptContext.get(), EVP_aes_256_cbc(), nullptr, key, iv) == 1 &&
             EVP_DecryptInit_ex(_decryptContext.get(), EVP_aes_256_cbc(), nullptr, key, iv) == 1;
    OPENSSL_cleanse(key, sizeof(key));
    OPENSSL_cleanse(iv, sizeof(iv));
    if (!_ready) {
        _logger->error("Cannot set up the safe store's cipher; it cannot be read or written");
    }
}

SafeStoreMac::~SafeStoreMac() = default;

std::vector<unsigned char> SafeStoreMac::foldSalt(const std::vector<unsigned char>& salt) {
    std::vector<unsigned char> folded(8, 0);
    for (std::size_t i = 0; i < salt.size(); ++i) {
        folded[i % 8] ^= salt[i];
    }
    return folded;
}

bool SafeStoreMac::transform(const EVP_CIPHER_CTX* prototype, bool encrypt,
                             const unsigned char* input, std::size_t length,
                             std::vector<unsigned char>& output) const {
    output.clear();
    if (!_ready || length > static_cast<std::size_t>(INT_MAX) - _outputAllowance) {
        return false;
    }
    const Context context(EVP_CIPHER_CTX_new());
    if (!context || EVP_CIPHER_CTX_copy(context.get(), prototype) != 1) {
        return false;
    }
    // Re-armed without key and vector: the copy starts from the vector set at construction.
    const int armed = encrypt
                          ? EVP_EncryptInit_ex(context.get(), nullptr, nullptr, nullptr, nullptr)
                          : EVP_DecryptInit_ex(context.get(), nullptr, nullptr, nullptr, nullptr);
    if (armed != 1) {
        return false;
    }
    output.resize(length + _outputAllowance);
    static const unsigned char noInput = 0;
    const unsigned char* in = length == 0 ? &noInput : input;
    int updated = 0;
    int finished = 0;
    const bool ok =
        encrypt ? EVP_EncryptUpdate(context.get(), output.data(), &updated, in,
                                    static_cast<int>(length)) == 1 &&
                      EVP_EncryptFinal_ex(context.get(), output.data() + updated, &finished) == 1
                : EVP_DecryptUpdate(context.get(), output.data(), &updated, in,
                                    static_cast<int>(length)) == 1 &&
                      EVP_DecryptFinal_ex(context.get(), output.data() + updated, &finished) == 1;
    if (!ok) {
        output.clear();
        return false;
    }
    output.resize(static_cast<std::size_t>(updated) + static_cast<std::size_t>(finished));
    return true;
}

std::map<std::string, std::string> SafeStoreMac::loadStore() const {
    const std::string stored = _params.getValue(kStoreKey, std::string());
    if (stored.empty()) {
        return {};
    }
    std::vector<unsigned char> encrypted;
    if (!util::base64Decode(stored, encrypted)) {
        _logger->warning("The safe store is not valid Base64; it reads as empty");
        return {};
    }
    std::vector<unsigned char> decrypted;
    // A failed final step means another key or damaged content: even when the blocks before it
    // happen to hold a complete map, it is not the map that was stored.
    if (encrypted.empty() ||
        !transform(_decryptContext.get(), false, encrypted.data(), encrypted.size(), decrypted)) {
        _logger->warning(
            "The safe store cannot be decrypted (another host id or salt, or damaged content); "
            "it reads as empty");
        return {};
    }
    const std::string text(decrypted.begin(), decrypted.end());
    std::map<std::string, std::string> map;
    // The parser stops at a zero byte, which the stored JSON text never holds.
    if (text.find('\0') != std::string::npos || !persistence::json_deserialize(text, map)) {
        _logger->warning("The safe store does not hold a map of texts; it reads as empty");
        return {};
    }
    return map;
}

bool SafeStoreMac::saveStore(const std::map<std::string, std::string>& map) {
    std::string text;
    if (!persistence::json_serialize(map, text)) {
        _logger->error("Cannot write the safe store as JSON");
        return false;
    }
    std::vector<unsigned char> encrypted;
    if (!transform(_encryptContext.get(), true, reinterpret_cast<const unsigned char*>(text.data()),
                   text.size(), encrypted)) {
        _logger->error("Cannot encrypt the safe store");
        return false;
    }
    return _params.setValue(kStoreKey, util::base64Encode(encrypted.data(), encrypted.size()));
}

}  // namespace common
