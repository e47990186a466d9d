#pragma once

#include <functional>
#include <string>

namespace platform {

// Executes the CPU identification instruction for `leaf` (in EAX only) and stores EAX, EBX,
// ECX and EDX in out[0] to out[3]. All zero on a processor without the instruction.
void cpuID(unsigned int leaf, unsigned int* out);

// What the processor identification and the operating system tell about the processor.
struct CPUFeatures {
    int logicalProcessors = 0;
    int physicalCores = 0;
    bool hyperThreading = false;
    bool mmx = false;
    bool sse2 = false;
    bool sse3 = false;
    bool ssse3 = false;
    bool sse41 = false;
    bool sse42 = false;
    bool aes = false;
    bool pclmulqdq = false;
    bool mmxExtensions = false;
    std::string vendor;  // "GenuineIntel", "AuthenticAMD", ...
    std::string brand;   // up to 48 characters, up to the first zero byte

    using CpuIdFunction = std::function<void(unsigned int leaf, unsigned int* out)>;

    // Identifies the running processor (cpuID, and the thread counts of the operating system).
    CPUFeatures();
    // The same over another identification instruction and operating-system counts.
    CPUFeatures(const CpuIdFunction& cpuid, int osLogicalProcessors, int osPhysicalCores);

private:
    void Identify(const CpuIdFunction& cpuid, int osLogicalProcessors, int osPhysicalCores);
};

}  // namespace platform
