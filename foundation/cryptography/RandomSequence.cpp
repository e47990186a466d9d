#include "foundation/cryptography/RandomSequence.h"

#include <openssl/rand.h>

#include <climits>
#include <random>

#include <boost/random/mersenne_twister.hpp>
#include <boost/random/uniform_int_distribution.hpp>

#include "foundation/logging/LogSource.h"

namespace cryptography {

namespace {

constexpr char kCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr unsigned kCharacterCount = sizeof(kCharacters) - 1;

// Bytes from the operating system. Should the OpenSSL generator fail, std::random_device
// (also the system's source here) fills in.
void SystemRandomBytes(unsigned char* out, unsigned long count) {
    while (count > 0) {
        const int chunk = static_cast<int>(count > INT_MAX ? INT_MAX : count);
        if (RAND_bytes(out, chunk) != 1) {
            logging::GlobalLog(logging::Error)
                << "RAND_bytes failed; drawing random bytes from std::random_device";
            std::random_device device;
            std::uniform_int_distribution<unsigned> byte(0, 255);
            for (unsigned long i = 0; i < count; ++i) {
                out[i] = static_cast<unsigned char>(byte(device));
            }
            return;
        }
        out += chunk;
        count -= static_cast<unsigned long>(chunk);
    }
}

}  // namespace

void RandomSequence(unsigned char* out, unsigned long count, unsigned int seed) {
    if (out == nullptr || count == 0) {
        return;
    }
    if (seed == 0) {
        SystemRandomBytes(out, count);
        return;
    }
    boost::random::mt19937 engine(seed);
    boost::random::uniform_int_distribution<unsigned> byte(0, 255);
    for (unsigned long i = 0; i < count; ++i) {
        out[i] = static_cast<unsigned char>(byte(engine));
    }
}

std::string RandomHexadecimalSequence(unsigned long count, unsigned int seed) {
    std::string out;
    out.reserve(count);
    if (seed != 0) {
        boost::random::mt19937 engine(seed);
        boost::random::uniform_int_distribution<unsigned> index(0, kCharacterCount - 1);
        for (unsigned long i = 0; i < count; ++i) {
            out.push_back(kCharacters[index(engine)]);
        }
        return out;
    }
    // Bytes of 248 and above are dropped, so every character is equally likely.
    constexpr unsigned kAccepted = 256 / kCharacterCount * kCharacterCount;
    unsigned char bytes[64];
    while (out.size() < count) {
        SystemRandomBytes(bytes, sizeof(bytes));
        for (unsigned char value : bytes) {
            if (value < kAccepted && out.size() < count) {
                out.push_back(kCharacters[value % kCharacterCount]);
            }
        }
    }
    return out;
}

}  // namespace cryptography
