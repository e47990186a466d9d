#include "platform/systemroot/SystemRoot.h"

#include <stdlib.h>

namespace standin {

boost::filesystem::path SystemRoot::path() {
    const char* root = getenv("ORV_SYSTEM_ROOT");
    if (root == nullptr || *root == '\0') {
        return "/";
    }
    return root;
}

boost::filesystem::path SystemRoot::resolve(const std::string& absolute) {
    std::string relative = absolute;
    while (!relative.empty() && relative.front() == '/') {
        relative.erase(relative.begin());
    }
    return relative.empty() ? path() : path() / relative;
}

}  // namespace standin
