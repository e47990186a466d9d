#include <gtest/gtest.h>

#include <string>

#include "foundation/conversion/HexString.h"
#include "foundation/cryptography/Hash.h"
#include "foundation/cryptography/MD5.h"
#include "foundation/cryptography/SHA1.h"

namespace {

struct Vector {
    std::string input;
    std::string digest;
};

// RFC 1321, appendix A.5.
const Vector kMd5Vectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// FIPS 180 examples, plus the empty message.
const Vector kSha1Vectors[] = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
};

template <typename Hasher>
void CheckVectors(const Vector* begin, const Vector* end, std::size_t digestLength) {
    for (const Vector* v = begin; v != end; ++v) {
        SCOPED_TRACE(v->input.substr(0, 40));
        const auto* bytes = reinterpret_cast<const unsigned char*>(v->input.data());
        EXPECT_EQ(cryptography::Hash<Hasher>::ToHexString(bytes, v->input.size()), v->digest);
        EXPECT_EQ(cryptography::Hash<Hasher>::ToHexString(v->input), v->digest);

        // Fed in uneven pieces, through both interfaces.
        Hasher hasher;
        std::size_t offset = 0;
        for (std::size_t piece = 1; offset < v->input.size(); piece = piece * 3 + 1) {
            const std::size_t n = std::min(piece, v->input.size() - offset);
            if (piece % 2 == 0) {
                hasher.Update(bytes + offset, n);
            } else {
                hasher.UpdateImpl(bytes + offset, n);
            }
            offset += n;
        }
        const auto digest = hasher.ToByteBuffer();
        EXPECT_EQ(digest.size(), digestLength);
        EXPECT_EQ(conversion::StringToHex(digest, false), v->digest);
    }
}

TEST(HashTest, Md5KnownVectors) {
    CheckVectors<cryptography::MD5>(std::begin(kMd5Vectors), std::end(kMd5Vectors), 16);
}

TEST(HashTest, Sha1KnownVectors) {
    CheckVectors<cryptography::SHA1>(std::begin(kSha1Vectors), std::end(kSha1Vectors), 20);
}

TEST(HashTest, FinishedHasherKeepsItsDigest) {
    cryptography::SHA1 hasher;
    hasher.Update(std::string("abc"));
    const auto first = hasher.ToByteBufferImpl();
    hasher.Update(std::string("more"));
    EXPECT_EQ(hasher.ToByteBufferImpl(), first);
    EXPECT_EQ(conversion::StringToHex(first, false), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

}  // namespace
