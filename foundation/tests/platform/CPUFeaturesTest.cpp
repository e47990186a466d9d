#include "foundation/platform/CPUFeatures.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

#include <gtest/gtest.h>

using platform::CPUFeatures;

namespace {

using Registers = std::array<unsigned int, 4>;  // EAX, EBX, ECX, EDX

// A processor described by the answers of its identification leaves; other leaves answer 0.
struct FakeCpu {
    std::map<unsigned int, Registers> leaves;
    std::vector<unsigned int> asked;

    CPUFeatures::CpuIdFunction function() {
        return [this](unsigned int leaf, unsigned int* out) {
            asked.push_back(leaf);
            const auto it = leaves.find(leaf);
            const Registers regs = it != leaves.end() ? it->second : Registers{0, 0, 0, 0};
            std::memcpy(out, regs.data(), sizeof(regs));
        };
    }
};

unsigned int Text4(const char* four) {
    unsigned int value = 0;
    std::memcpy(&value, four, 4);
    return value;
}

// Leaf 0 of a vendor: highest leaf, then the name spread over EBX, EDX, ECX.
Registers Vendor(unsigned int highest, const char* name12) {
    return {highest, Text4(name12), Text4(name12 + 8), Text4(name12 + 4)};
}

void AddBrand(FakeCpu& cpu, const char* brand48) {
    for (unsigned int i = 0; i < 3; ++i) {
        const char* part = brand48 + i * 16;
        cpu.leaves[0x80000002u + i] = {Text4(part), Text4(part + 4), Text4(part + 8),
                                       Text4(part + 12)};
    }
}

constexpr unsigned int bit(unsigned int n) {
    return 1u << n;
}

}  // namespace

TEST(CPUFeatures, IntelFlagsVendorAndBrand) {
    FakeCpu cpu;
    cpu.leaves[0] = Vendor(22, "GenuineIntel");
    cpu.leaves[0x80000000u] = {0x80000008u, 0, 0, 0};
    // EDX: MMX 23, SSE 25, SSE2 26, HTT 28; ECX: SSE3 0, PCLMULQDQ 1, SSSE3 9, 4.1 19, 4.2 20, AES
    // 25
    cpu.leaves[1] = {0, 0, bit(0) | bit(1) | bit(9) | bit(19) | bit(20) | bit(25),
                     bit(23) | bit(25) | bit(26) | bit(28)};
    char brand[48] = "      Intel(R) Core(TM) i7-8850H CPU @ 2.60GHz";
    AddBrand(cpu, brand);

    const CPUFeatures f(cpu.function(), 12, 6);
    EXPECT_EQ(f.vendor, "GenuineIntel");
    EXPECT_EQ(f.brand, "      Intel(R) Core(TM) i7-8850H CPU @ 2.60GHz");
    EXPECT_EQ(f.logicalProcessors, 12);
    EXPECT_EQ(f.physicalCores, 6);
    EXPECT_TRUE(f.hyperThreading && f.mmx && f.sse2 && f.sse3 && f.ssse3 && f.sse41 && f.sse42 &&
                f.aes && f.pclmulqdq && f.mmxExtensions);
    EXPECT_NE(std::find(cpu.asked.begin(), cpu.asked.end(), 4u), cpu.asked.end());
}

TEST(CPUFeatures, FlagsDependOnSse2AndSse3) {
    struct Case {
        unsigned int ecx, edx;
        bool sse3, ssse3, sse41, aes, mmxExt;
    } cases[] = {
        // ECX bits without SSE2 count for nothing
        {bit(0) | bit(9) | bit(19) | bit(25), bit(23), false, false, false, false, false},
        // SSE2 without SSE3: AES yes, SSE4.1 and SSSE3 no
        {bit(9) | bit(19) | bit(25), bit(26), false, false, false, true, false},
        // SSE2 and SSE3
        {bit(0) | bit(19), bit(26) | bit(25), true, false, true, false, true},
    };
    for (const auto& c : cases) {
        FakeCpu cpu;
        cpu.leaves[0] = Vendor(1, "GenuineIntel");
        cpu.leaves[1] = {0, 0, c.ecx, c.edx};
        const CPUFeatures f(cpu.function(), 4, 4);
        EXPECT_EQ(f.sse3, c.sse3) << c.ecx;
        EXPECT_EQ(f.ssse3, c.ssse3) << c.ecx;
        EXPECT_EQ(f.sse41, c.sse41) << c.ecx;
        EXPECT_EQ(f.aes, c.aes) << c.ecx;
        EXPECT_EQ(f.mmxExtensions, c.mmxExt) << c.ecx;
        EXPECT_EQ(f.brand, "");  // no extended leaves
    }
}

TEST(CPUFeatures, MmxExtensionsFromExtendedLeafWithoutSse) {
    FakeCpu cpu;
    cpu.leaves[0] = Vendor(1, "AuthenticAMD");
    cpu.leaves[0x80000000u] = {0x80000001u, 0, 0, 0};
    cpu.leaves[1] = {0, 0, 0, bit(23)};
    cpu.leaves[0x80000001u] = {0, 0, 0, bit(22)};
    EXPECT_TRUE(CPUFeatures(cpu.function(), 1, 1).mmxExtensions);
}

TEST(CPUFeatures, AmdCoreCounts) {
    struct Case {
        const char* name;
        unsigned int highestExtended;
        unsigned int leaf8Ecx;  // 0x80000008 ECX
        unsigned int ext1Ecx;   // 0x80000001 ECX
        unsigned int leaf1Ebx;  // leaf 1 EBX
        bool hyperThreading;
        int logical, physical;  // expected
    } cases[] = {
        {"core count leaf", 0x80000008u, 0x0F, 0, 0, true, 16, 16},
        {"legacy count with HTT", 0x80000001u, 0, bit(1), 0x00040000, true, 16, 4},
        {"neither legacy count nor HTT", 0x80000001u, 0, 0, 0, false, 1, 1},
        {"legacy count without HTT", 0x80000001u, 0, bit(1), 0, false, 16, 8},
        {"no extended leaves", 0x80000000u, 0, 0, 0, true, 16, 8},
    };
    for (const auto& c : cases) {
        FakeCpu cpu;
        cpu.leaves[0] = Vendor(13, "AuthenticAMD");
        cpu.leaves[0x80000000u] = {c.highestExtended, 0, 0, 0};
        cpu.leaves[0x80000008u] = {0, 0, c.leaf8Ecx, 0};
        cpu.leaves[0x80000001u] = {0, 0, c.ext1Ecx, 0};
        cpu.leaves[1] = {0, c.leaf1Ebx, 0, c.hyperThreading ? bit(28) : 0};
        const CPUFeatures f(cpu.function(), 16, 8);
        EXPECT_EQ(f.logicalProcessors, c.logical) << c.name;
        EXPECT_EQ(f.physicalCores, c.physical) << c.name;
    }
}

TEST(CPUFeatures, HighestBasicLeafZeroLeavesAllFlagsFalse) {
    FakeCpu cpu;
    cpu.leaves[0] = Vendor(0, "GenuineIntel");
    cpu.leaves[1] = {0, 0, ~0u, ~0u};
    const CPUFeatures f(cpu.function(), 2, 1);
    EXPECT_FALSE(f.hyperThreading || f.mmx || f.sse2 || f.sse3 || f.aes || f.mmxExtensions);
    EXPECT_EQ(std::find(cpu.asked.begin(), cpu.asked.end(), 1u), cpu.asked.end());
}

#if defined(__x86_64__)
TEST(CPUFeatures, RealProcessorOfThisMachine) {
    const CPUFeatures f;
    EXPECT_EQ(f.vendor.size(), 12u);
    EXPECT_TRUE(f.sse2);  // every x86-64 processor has it
    EXPECT_GE(f.logicalProcessors, 1);
    EXPECT_GE(f.physicalCores, 1);
    unsigned int regs[4];
    platform::cpuID(0, regs);
    EXPECT_GE(regs[0], 1u);
}
#endif
