#pragma once

#include <boost/filesystem/path.hpp>
#include <cstddef>
#include <optional>
#include <string>

// Readers of the text files that describe the machine (/etc/os-release, /proc, /sys). None of
// them throws: a file that is missing or cannot be read gives no value.
namespace platform {

// The file's content, at most `maxBytes` of it; no value when it cannot be opened or read.
std::optional<std::string> ReadTextFile(const boost::filesystem::path& file,
                                        std::size_t maxBytes = 4u << 20);

// `text` without white space and zero bytes at either end.
std::string TrimText(const std::string& text);

// The value of `key` in an environment-style file of KEY=VALUE lines (os-release(5),
// machine-info(5)): the last assignment wins; single or double quotes are removed, and in
// double quotes a backslash escapes the next character. No value when the key is not there.
std::optional<std::string> ReadAssignment(const std::string& text, const std::string& key);

// The value of the first "key : value" line of a /proc file whose key (without the white space
// around it) equals `key`, trimmed.
std::optional<std::string> ReadColonField(const std::string& text, const std::string& key);

}  // namespace platform
