#include "platform/archive/Unzip.h"

#include "platform/process/Process.h"

namespace standin {

namespace {

// unzip's own report goes nowhere: the callers log the outcome. "-P" with an empty password
// keeps unzip from asking on the terminal for an encrypted entry; such an entry fails.
int runUnzip(std::vector<std::string> arguments) {
    Process::Options options;
    options.captureOutput = true;
    options.maxOutput = 64 * 1024;
    arguments.insert(arguments.begin(), {"-P", ""});
    return Process::run("unzip", arguments, options).status;
}

}  // namespace

int Unzip::test(const boost::filesystem::path& archive) {
    return runUnzip({"-tq", archive.string()});
}

int Unzip::extract(const boost::filesystem::path& archive, const boost::filesystem::path& folder) {
    return runUnzip({"-q", "-o", archive.string(), "-d", folder.string()});
}

}  // namespace standin
