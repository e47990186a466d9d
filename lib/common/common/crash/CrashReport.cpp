#include "common/crash/CrashReport.h"

#include <fcntl.h>
#include <unistd.h>

#include <elf.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "common/crash/CrashReportWriter.h"
#include "platform/process/Process.h"

namespace fs = boost::filesystem;

namespace common {

namespace {

constexpr std::size_t kMaxFieldsBytes = 64 * 1024;
constexpr std::size_t kMaxFrames = 128;
constexpr std::size_t kMaxMapsBytes = 4 * 1024 * 1024;

// Reads at most `limit` bytes of a regular file (links are not followed). False when it cannot
// be opened.
bool readBounded(const fs::path& file, std::size_t limit, std::string& content) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    content.clear();
    char buffer[8192];
    while (content.size() < limit) {
        const ssize_t count = ::read(fd, buffer, std::min(sizeof(buffer), limit - content.size()));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return true;
}

std::string hex(uintptr_t value) {
    char text[2 + 2 * sizeof(uintptr_t) + 1];
    std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// Whether the file is a position-independent ELF object (a shared library or a PIE program),
// whose symbols are addressed relative to its load address.
bool isPositionIndependent(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return true;
    }
    Elf64_Ehdr header{};
    const bool read = ::read(fd, &header, sizeof(header)) == static_cast<ssize_t>(sizeof(header));
    ::close(fd);
    return !read || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_type == ET_DYN;
}

}  // namespace

bool CrashReport::read(const fs::path& folder, std::string& error) {
    _id = folder.filename().string();
    _fields.clear();
    _frames.clear();
    _maps.clear();
    _mappings.clear();

    std::string text;
    if (!readBounded(folder / CrashReportWriter::kReportFile, kMaxFieldsBytes, text)) {
        error = "cannot read " + (folder / CrashReportWriter::kReportFile).string() + ": " +
                std::strerror(errno);
        return false;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(": ");
        if (colon == std::string::npos || colon == 0) {
            continue;
        }
        _fields.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    }

    std::string frames;
    if (readBounded(folder / CrashReportWriter::kFramesFile, kMaxFrames * sizeof(uintptr_t),
                    frames)) {
        for (std::size_t at = 0; at + sizeof(uintptr_t) <= frames.size(); at += sizeof(uintptr_t)) {
            uintptr_t frame = 0;
            std::memcpy(&frame, frames.data() + at, sizeof(frame));
            if (frame == 0) {
                break;
            }
            _frames.push_back(frame);
        }
    }

    if (readBounded(folder / CrashReportWriter::kMapsFile, kMaxMapsBytes, _maps)) {
        std::istringstream mapLines(_maps);
        for (std::string line; std::getline(mapLines, line);) {
            unsigned long long start = 0;
            unsigned long long end = 0;
            unsigned long long offset = 0;
            char permissions[8] = {};
            int pathAt = 0;
            if (std::sscanf(line.c_str(), "%llx-%llx %7s %llx %*s %*s %n", &start, &end,
                            permissions, &offset, &pathAt) < 4 ||
                pathAt <= 0 || static_cast<std::size_t>(pathAt) >= line.size() ||
                line[static_cast<std::size_t>(pathAt)] != '/' || start >= end) {
                continue;
            }
            _mappings.push_back({static_cast<uintptr_t>(start), static_cast<uintptr_t>(end),
                                 static_cast<uintptr_t>(offset),
                                 line.substr(static_cast<std::size_t>(pathAt))});
        }
    }
    return true;
}

std::map<std::string, std::string> CrashReport::annotations() const {
    static const std::string kPrefix = "annotation.";
    std::map<std::string, std::string> result;
    for (const auto& field : _fields) {
        if (field.first.compare(0, kPrefix.size(), kPrefix) == 0) {
            result[field.first.substr(kPrefix.size())] = field.second;
        }
    }
    return result;
}

bool CrashReport::locate(uintptr_t frame, ModuleAddress& where) const {
    for (const auto& mapping : _mappings) {
        if (frame < mapping.start || frame >= mapping.end) {
            continue;
        }
        // The load address is where the file's first byte is mapped.
        uintptr_t base = mapping.start - mapping.offset;
        for (const auto& other : _mappings) {
            if (other.path == mapping.path && other.offset == 0) {
                base = other.start;
                break;
            }
        }
        where.module = mapping.path;
        where.address = frame - base;
        return true;
    }
    return false;
}

std::string CrashReport::toText(const Symbolizer& symbolizer) const {
    std::ostringstream text;
    for (const auto& field : _fields) {
        text << field.first << ": " << field.second << "\n";
    }

    // One symbolizer run per module, with every frame of that module.
    std::vector<ModuleAddress> located(_frames.size());
    std::vector<bool> found(_frames.size(), false);
    std::map<std::string, std::vector<std::size_t>> framesOfModule;
    for (std::size_t i = 0; i < _frames.size(); ++i) {
        found[i] = locate(_frames[i], located[i]);
        if (found[i]) {
            framesOfModule[located[i].module].push_back(i);
        }
    }
    std::vector<std::string> symbols(_frames.size());
    std::map<std::string, bool> relative;
    for (const auto& module : framesOfModule) {
        const bool pic = isPositionIndependent(module.first);
        std::vector<uintptr_t> addresses;
        for (std::size_t index : module.second) {
            // A return address points after its call: look up the call itself.
            const uintptr_t address = pic ? located[index].address : _frames[index];
            addresses.push_back(index == 0 || address == 0 ? address : address - 1);
        }
        if (symbolizer) {
            const auto names = symbolizer(module.first, addresses);
            for (std::size_t k = 0; k < module.second.size() && k < names.size(); ++k) {
                symbols[module.second[k]] = names[k];
            }
        }
    }

    text << "Backtrace:\n";
    for (std::size_t i = 0; i < _frames.size(); ++i) {
        text << "#" << i << " " << hex(_frames[i]);
        if (found[i]) {
            text << " " << located[i].module << "+" << hex(located[i].address);
        }
        if (!symbols[i].empty()) {
            text << " " << symbols[i];
        }
        text << "\n";
    }
    text << "Memory map:\n" << _maps;
    return text.str();
}

std::vector<std::string> CrashReport::addr2line(const std::string& module,
                                                const std::vector<uintptr_t>& addresses) {
    std::vector<std::string> names(addresses.size());
    if (addresses.empty()) {
        return names;
    }
    std::vector<std::string> arguments = {"-C", "-f", "-e", module};
    for (uintptr_t address : addresses) {
        arguments.push_back(hex(address));
    }
    standin::Process::Options options;
    options.captureOutput = true;
    options.maxOutput = 1024 * 1024;
    const auto result = standin::Process::run("addr2line", arguments, options);
    if (!result.succeeded()) {
        return names;
    }
    // Two lines per address: the function, then "file:line".
    std::istringstream lines(result.output);
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string function;
        std::string location;
        if (!std::getline(lines, function) || !std::getline(lines, location)) {
            break;
        }
        if (function != "??") {
            names[i] = function + (location.compare(0, 2, "??") == 0 ? "" : " at " + location);
        }
    }
    return names;
}

}  // namespace common
