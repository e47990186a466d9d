#pragma once

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

namespace common {
namespace util {

// Identifiers

// `length` characters, each drawn uniformly (without modulo bias) from the bytes of the
// zero-terminated `alphabet`, from the operating system's random device (std::system_error
// when no random bytes can be read). An empty or null alphabet gives an empty text (with a
// logged error).
std::string generateNanoId(unsigned long length, const char* alphabet);

// Text conversions (wide characters are 32-bit code points; invalid input is dropped)

std::string toString(const std::wstring& text);
std::wstring toWideString(const std::string& text);

// argv[0] to argv[argc - 1]; empty for argc <= 0 or a null argv.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Base64 and hexadecimal

// Standard Base64 with "=" padding and no line breaks.
std::string base64Encode(const unsigned char* data, unsigned long length);
// Decodes Base64. Answers false, leaving `bytes` empty, for a character outside the alphabet
// (other than up to two "=" at the end) or a length that leaves remainder 1 modulo 4.
bool base64Decode(const std::string& text, std::vector<unsigned char>& bytes);
// As above; a text that cannot be decoded gives an empty result and a logged error. Use the
// overload above where the caller must tell a bad text from an empty one.
std::vector<unsigned char> base64Decode(const std::string& text);

// Base64 of the wide text's UTF-32LE bytes (four per character).
std::string toBase64(const std::wstring& text);
// The inverse of toBase64; a trailing group of fewer than four bytes is dropped. Answers false,
// leaving `text` empty, when the Base64 cannot be decoded.
bool fromBase64(const std::string& base64, std::wstring& text);
// As above; an undecodable text gives an empty result and a logged error.
std::wstring fromBase64(const std::string& base64);

// The lower-case hexadecimal digit of the value's low four bits.
std::string toHex(unsigned char value);
// Two lower-case hexadecimal digits per byte, no separators.
std::string toHex(std::vector<unsigned char> bytes);

// Files

// Creates or truncates the file and writes the content up to its first zero byte and one
// line feed. False for an empty path, a file that cannot be opened, or a failed write, flush
// or close.
bool saveContentToFile(const boost::filesystem::path& path, const std::string& content);

// Moves a file (or whatever is at `path`) aside to "<path><suffix>"; when that name is taken,
// to "<path><suffix>.1" and so on up to "<path><suffix>.<keep - 1>". An existing file is never
// replaced: when all `keep` names are taken, the one changed longest ago is removed and its
// name used, so the newest `keep` stay. Returns the new name; an empty path when nothing was
// moved (errno tells why).
boost::filesystem::path moveAside(const boost::filesystem::path& path, const std::string& suffix,
                                  unsigned keep);

// Locations

// The running executable, canonical and normalised.
boost::filesystem::path getExecutablePathAndFilename();
// The folder of the running executable.
boost::filesystem::path getExecutablePath();
// The program's bundle: `<name>.app` when the executable is `<name>.app/Contents/MacOS/<exe>`,
// else the executable's own folder.
boost::filesystem::path getBundlePath(const boost::filesystem::path& executable);
// The folder that holds the program: the folder of its `<name>.app` bundle when the
// executable is `<name>.app/Contents/MacOS/<exe>`, else the executable's own folder.
boost::filesystem::path getApplicationMainPath();
// The application main path for a given executable path (the rule above).
boost::filesystem::path getApplicationMainPath(const boost::filesystem::path& executable);
// `<application main path>/appdata`, created with mode 01777 when missing. When its status
// cannot be read, it cannot be created or its mode cannot be set, the filesystem error is
// raised (boost::filesystem::filesystem_error): the caller never gets a path that would put
// its files into the working folder instead.
boost::filesystem::path getUserWritePath();
// `<mainPath>/appdata` with the same rules.
boost::filesystem::path getUserWritePath(const boost::filesystem::path& mainPath);
// The current directory.
boost::filesystem::path getWorkingPath();
// Makes the path the current directory when something exists there; otherwise nothing.
void setWorkingPath(const boost::filesystem::path& path);

}  // namespace util
}  // namespace common
