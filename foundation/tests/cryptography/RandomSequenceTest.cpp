#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/cryptography/RandomSequence.h"

namespace {

const std::string kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

std::vector<unsigned char> Bytes(unsigned long count, unsigned int seed) {
    std::vector<unsigned char> out(count);
    cryptography::RandomSequence(out.data(), count, seed);
    return out;
}

TEST(RandomSequenceTest, ExplicitSeedIsMersenneTwisterTopBytes) {
    for (unsigned int seed : {1u, 5489u, 0xFFFFFFFFu}) {
        std::mt19937 reference(seed);
        std::vector<unsigned char> expected(64);
        for (auto& byte : expected) {
            byte = static_cast<unsigned char>(reference() >> 24);
        }
        EXPECT_EQ(Bytes(64, seed), expected) << "seed " << seed;
    }
}

// Seed 0 used to mean "the current second", so two calls in one second repeated themselves.
TEST(RandomSequenceTest, SeedZeroDrawsFreshBytesEveryCall) {
    const auto first = Bytes(32, 0);
    const auto second = Bytes(32, 0);
    EXPECT_NE(first, second);
    EXPECT_NE(first, Bytes(32, static_cast<unsigned int>(time(nullptr))));
    cryptography::RandomSequence(nullptr, 0, 0);  // nothing to fill
}

TEST(RandomHexadecimalSequenceTest, SeededSequencesRepeatAndSeedZeroDoesNot) {
    EXPECT_EQ(cryptography::RandomHexadecimalSequence(40, 7),
              cryptography::RandomHexadecimalSequence(40, 7));
    EXPECT_NE(cryptography::RandomHexadecimalSequence(40, 7),
              cryptography::RandomHexadecimalSequence(40, 8));
    EXPECT_NE(cryptography::RandomHexadecimalSequence(40, 0),
              cryptography::RandomHexadecimalSequence(40, 0));
    EXPECT_EQ(cryptography::RandomHexadecimalSequence(0, 0), "");
    for (unsigned int seed : {0u, 3u}) {
        const std::string text = cryptography::RandomHexadecimalSequence(1000, seed);
        EXPECT_EQ(text.size(), 1000u);
        EXPECT_EQ(text.find_first_not_of(kAlphabet), std::string::npos);
    }
}

// 62 does not divide 256: mapping bytes with a plain modulo would make "0".."7" a quarter more
// likely than the rest.
TEST(RandomHexadecimalSequenceTest, SeedZeroDrawsEveryCharacterEquallyOften) {
    const unsigned long perCharacter = 4000;
    const std::string text =
        cryptography::RandomHexadecimalSequence(perCharacter * kAlphabet.size(), 0);
    std::map<char, unsigned long> counts;
    for (char c : text) {
        ++counts[c];
    }
    ASSERT_EQ(counts.size(), kAlphabet.size());
    for (const auto& entry : counts) {
        // Six standard deviations either way.
        EXPECT_GT(entry.second, perCharacter - 380) << entry.first;
        EXPECT_LT(entry.second, perCharacter + 380) << entry.first;
    }
}

}  // namespace
