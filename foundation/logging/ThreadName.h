#pragma once

#include <string>

namespace core {

// Names the calling thread. The whole name is kept for GetThreadName; the platform gets it cut
// to its limit of 15 bytes, at a character boundary. The naming is logged at Info.
void SetThreadName(const std::string& name);

// The calling thread's name when one was set; otherwise the text of its thread handle
// ("0x..."), computed once per thread.
const std::string& GetThreadName();

}  // namespace core
