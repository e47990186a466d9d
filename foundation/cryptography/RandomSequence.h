#pragma once

#include <string>

namespace cryptography {

// Fills `count` bytes, each uniform in 0..255. With a seed of 0 the bytes come from the
// operating system's random source; any other seed gives the same bytes every time (MT19937).
void RandomSequence(unsigned char* out, unsigned long count, unsigned int seed);

// `count` characters drawn uniformly from "0-9A-Za-z" (62 characters); seeding as above.
std::string RandomHexadecimalSequence(unsigned long count, unsigned int seed);

}  // namespace cryptography
