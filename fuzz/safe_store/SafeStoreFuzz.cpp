// The safe store over any stored text: damaged Base64, damaged cipher text and, encrypted with
// the store's own key, any plain text in place of the map. Reading never crashes; a map that is
// written reads back unchanged.

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/params/IParams.h"
#include "common/safestore/SafeStoreMac.h"
#include "common/util/Util.h"
#include "lib/common/tests/support/MemoryParams.h"

namespace {

const std::vector<unsigned char> kKeyMaterial = {'m', 'a', 't', 'e', 'r', 'i', 'a', 'l'};
const std::vector<unsigned char> kSalt = {'0', '1', '2', '3', '4', '5', '6', '7',
                                          '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};

// The stored form of `plain`: encrypted the way the store encrypts, then Base64.
std::string encrypt(const std::string& plain) {
    const std::vector<unsigned char> salt = common::SafeStoreMac::foldSalt(kSalt);
    unsigned char key[32];
    unsigned char iv[16];
    if (EVP_BytesToKey(EVP_aes_256_cbc(), EVP_sha1(), salt.data(), kKeyMaterial.data(),
                       static_cast<int>(kKeyMaterial.size()), 5, key, iv) != 32) {
        std::abort();
    }
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    std::vector<unsigned char> out(plain.size() + 32);
    int length = 0;
    int last = 0;
    if (EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr, key, iv) != 1 ||
        EVP_EncryptUpdate(context, out.data(), &length,
                          reinterpret_cast<const unsigned char*>(plain.data()),
                          static_cast<int>(plain.size())) != 1 ||
        EVP_EncryptFinal_ex(context, out.data() + length, &last) != 1) {
        std::abort();
    }
    EVP_CIPHER_CTX_free(context);
    return common::util::base64Encode(out.data(), static_cast<unsigned long>(length + last));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    testsupport::MemoryParams params;
    common::SafeStoreMac store(params, kKeyMaterial, kSalt);
    switch (data[0] % 3) {
        case 0:  // the stored text itself
            params.setValue("Encrypted", rest);
            store.loadStore();
            break;
        case 1:  // any plain text under a valid encryption
            params.setValue("Encrypted", encrypt(rest));
            store.loadStore();
            break;
        default: {  // a map written and read back: entries separated by zero bytes
            std::map<std::string, std::string> map;
            std::size_t start = 0;
            std::string key;
            bool haveKey = false;
            for (std::size_t i = 0; i <= rest.size(); ++i) {
                if (i == rest.size() || rest[i] == '\0') {
                    const std::string part = rest.substr(start, i - start);
                    if (haveKey) {
                        map[key] = part;
                    } else {
                        key = part;
                    }
                    haveKey = !haveKey;
                    start = i + 1;
                }
            }
            if (!store.saveStore(map)) {
                std::abort();
            }
            if (store.loadStore() != map) {
                std::abort();
            }
            break;
        }
    }
    return 0;
}
