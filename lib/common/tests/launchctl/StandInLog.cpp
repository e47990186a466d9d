#include "StandInLog.h"

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace launchctltest {

std::vector<Invocation> readInvocations(const boost::filesystem::path& log) {
    std::ifstream in(log.string(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    const std::string text = content.str();

    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        fields.push_back(text.substr(start, end - start));
    }
    if (start != text.size()) {
        throw std::runtime_error("stand-in log ends inside a field");
    }
    std::vector<Invocation> invocations;
    for (std::size_t i = 0; i < fields.size();) {
        if (i + 1 >= fields.size()) {
            throw std::runtime_error("stand-in log ends inside a record");
        }
        Invocation invocation;
        invocation.program = fields[i];
        const std::size_t count = std::stoul(fields[i + 1]);
        i += 2;
        if (fields.size() - i < count) {
            throw std::runtime_error("stand-in log ends inside a record");
        }
        invocation.arguments.assign(fields.begin() + static_cast<long>(i),
                                    fields.begin() + static_cast<long>(i + count));
        i += count;
        invocations.push_back(std::move(invocation));
    }
    return invocations;
}

std::ostream& operator<<(std::ostream& out, const Invocation& invocation) {
    out << invocation.program;
    for (const auto& argument : invocation.arguments) {
        out << " [" << argument << "]";
    }
    return out;
}

}  // namespace launchctltest
