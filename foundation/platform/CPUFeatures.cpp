#include "foundation/platform/CPUFeatures.h"

#include <boost/thread/thread.hpp>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace platform {

namespace {

constexpr unsigned int kExtendedBase = 0x80000000u;

bool Bit(unsigned int value, unsigned int bit) {
    return ((value >> bit) & 1u) != 0;
}

// The text of `count` register bytes, up to the first zero byte.
std::string RegisterText(const unsigned int* registers, std::size_t count) {
    std::string text(count * sizeof(unsigned int), '\0');
    std::memcpy(&text[0], registers, text.size());
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
    return text;
}

}  // namespace

void cpuID(unsigned int leaf, unsigned int* out) {
#if defined(__x86_64__) || defined(__i386__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    __cpuid(leaf, eax, ebx, ecx, edx);
    out[0] = eax;
    out[1] = ebx;
    out[2] = ecx;
    out[3] = edx;
#else
    (void)leaf;
    out[0] = out[1] = out[2] = out[3] = 0;
#endif
}

CPUFeatures::CPUFeatures() {
    Identify(&cpuID, static_cast<int>(boost::thread::hardware_concurrency()),
             static_cast<int>(boost::thread::physical_concurrency()));
}

CPUFeatures::CPUFeatures(const CpuIdFunction& cpuid, int osLogicalProcessors, int osPhysicalCores) {
    Identify(cpuid, osLogicalProcessors, osPhysicalCores);
}

void CPUFeatures::Identify(const CpuIdFunction& cpuid, int osLogicalProcessors,
                           int osPhysicalCores) {
    unsigned int regs[4] = {0, 0, 0, 0};

    cpuid(0, regs);
    const unsigned int highestBasic = regs[0];
    const unsigned int vendorRegs[3] = {regs[1], regs[3], regs[2]};  // EBX, EDX, ECX
    vendor = RegisterText(vendorRegs, 3);

    cpuid(kExtendedBase, regs);
    const unsigned int highestExtended = regs[0];

    unsigned int leaf1[4] = {0, 0, 0, 0};
    if (highestBasic != 0) {
        cpuid(1, leaf1);
        const unsigned int ecx = leaf1[2];
        const unsigned int edx = leaf1[3];
        mmx = Bit(edx, 23);
        sse2 = Bit(edx, 26);
        if (sse2) {
            sse3 = Bit(ecx, 0);
            ssse3 = sse3 && Bit(ecx, 9);
            aes = Bit(ecx, 25);
            pclmulqdq = Bit(ecx, 1);
            if (sse3) {
                sse41 = Bit(ecx, 19);
                sse42 = Bit(ecx, 20);
            }
        }
        if (Bit(edx, 25)) {
            mmxExtensions = true;
        } else if (highestExtended >= kExtendedBase + 1) {
            cpuid(kExtendedBase + 1, regs);
            mmxExtensions = Bit(regs[3], 22);
        }
        hyperThreading = Bit(edx, 28);
    }

    logicalProcessors = osLogicalProcessors;
    physicalCores = osPhysicalCores;

    if (vendor == "GenuineIntel") {
        if (highestBasic >= 11) {
            cpuid(4, regs);
            physicalCores = osPhysicalCores;
        }
    } else if (vendor == "AuthenticAMD") {
        if (highestExtended >= kExtendedBase + 8) {
            cpuid(kExtendedBase + 8, regs);
            physicalCores = static_cast<int>(regs[2] & 0xFFu) + 1;
        } else if (highestExtended >= kExtendedBase + 1) {
            cpuid(kExtendedBase + 1, regs);
            const bool legacyCoreCount = Bit(regs[2], 1);
            if (legacyCoreCount && hyperThreading) {
                physicalCores = static_cast<int>((leaf1[1] >> 16) & 0xFFu);
            } else if (!legacyCoreCount && !hyperThreading) {
                logicalProcessors = 1;
                physicalCores = 1;
            }
        } else {
            return;
        }
    }

    if (highestExtended >= kExtendedBase + 4) {
        unsigned int brandRegs[12];
        for (unsigned int i = 0; i < 3; ++i) {
            cpuid(kExtendedBase + 2 + i, &brandRegs[i * 4]);
        }
        brand = RegisterText(brandRegs, 12);
    }
}

}  // namespace platform
