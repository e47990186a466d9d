#include "foundation/logging/ThreadName.h"

#include <pthread.h>

#include <string>
#include <system_error>

#include "foundation/core/StringBuilder.h"
#include "foundation/logging/LogSource.h"

namespace core {

namespace {

// pthread_setname_np takes at most 15 bytes plus the terminator.
constexpr std::size_t kPlatformNameLimit = 15;

thread_local std::string t_Name;
thread_local bool t_HasName = false;
thread_local std::string t_HandleText;

const void* CurrentHandle() {
    return reinterpret_cast<const void*>(pthread_self());
}

// The longest prefix of at most `limit` bytes that does not end inside a UTF-8 sequence.
std::string PlatformName(const std::string& name, std::size_t limit) {
    std::string shortened = name.substr(0, name.find('\0'));
    if (shortened.size() <= limit) {
        return shortened;
    }
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(shortened[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    shortened.resize(cut);
    return shortened;
}

}  // namespace

void SetThreadName(const std::string& name) {
    t_Name = name;
    t_HasName = true;
    const int result =
        pthread_setname_np(pthread_self(), PlatformName(name, kPlatformNameLimit).c_str());
    logging::GlobalLog(logging::Info)
        << "Thread " << CurrentHandle() << " has the name '" << name << "'";
    if (result != 0) {
        logging::GlobalLog(logging::Warning)
            << "The system refused the thread name '" << name
            << "': " << std::error_code(result, std::generic_category()).message();
    }
}

const std::string& GetThreadName() {
    if (t_HasName) {
        return t_Name;
    }
    if (t_HandleText.empty()) {
        t_HandleText = StringBuilder() << CurrentHandle();
    }
    return t_HandleText;
}

}  // namespace core
