#include "common/logger/ILoggerSink.h"

#include <cstdio>
#include <ctime>
#include <iomanip>
#include <sstream>
#include <utility>

#include <boost/format.hpp>

namespace common {

namespace {

const char kSensitiveName[] = "sensitive";
const std::string kMask = "***";

// One character of a (possibly escaped) JSON text and the offset just past it in the
// original text.
struct DecodedChar {
    char c;
    std::size_t end;
};

// Reads a text as JSON escaped `level` times, one character at a time: at each level "\x"
// becomes "x" (a backslash at the very end stays). Unescaping needs no state beyond the
// position, so a character costs O(level) and the whole text O(level * length).
class Unescaper {
public:
    Unescaper(const std::string& text, std::size_t position) : _text(text), _position(position) {}

    bool next(unsigned level, DecodedChar& out) {
        if (level == 0) {
            if (_position >= _text.size()) {
                return false;
            }
            out = {_text[_position], _position + 1};
            ++_position;
            return true;
        }
        if (!next(level - 1, out)) {
            return false;
        }
        if (out.c == '\\') {
            DecodedChar escaped{};
            if (next(level - 1, escaped)) {
                out = escaped;
            }
        }
        return true;
    }

private:
    const std::string& _text;
    std::size_t _position;
};

// Offset just past the brace that closes the JSON object opening at `open`, reading the
// text as JSON escaped `level` times; npos when the object is not closed. Reads only up to
// that brace.
std::size_t findObjectEnd(const std::string& text, std::size_t open, unsigned level) {
    Unescaper reader(text, open);
    DecodedChar current{};
    int depth = 0;
    bool inString = false;
    while (reader.next(level, current)) {
        const char c = current.c;
        if (inString) {
            if (c == '\\') {
                DecodedChar escaped{};  // the escaped character never ends the string
                if (!reader.next(level, escaped)) {
                    break;
                }
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (--depth == 0) {
                return current.end;
            }
        }
    }
    return std::string::npos;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isEscapedSpaceLetter(char c) {
    return c == 'n' || c == 'r' || c == 't';
}

// Offset of the first character at or after `at` that is not whitespace: plain white space,
// or white space written as an escape inside a JSON string (backslashes, then n, r or t).
std::size_t skipSpaceForward(const std::string& text, std::size_t at) {
    for (;;) {
        if (at < text.size() && isSpace(text[at])) {
            ++at;
            continue;
        }
        std::size_t letter = at;
        while (letter < text.size() && text[letter] == '\\') {
            ++letter;
        }
        if (letter > at && letter < text.size() && isEscapedSpaceLetter(text[letter])) {
            at = letter + 1;
            continue;
        }
        return at;
    }
}

// Offset of the last character before `at` (and not before `from`) that is not whitespace
// in the sense above; npos when there is none.
std::size_t skipSpaceBackward(const std::string& text, std::size_t from, std::size_t at) {
    while (at > from) {
        const std::size_t last = at - 1;
        if (isSpace(text[last])) {
            at = last;
            continue;
        }
        if (isEscapedSpaceLetter(text[last]) && last > from && text[last - 1] == '\\') {
            at = last - 1;
            while (at > from && text[at - 1] == '\\') {
                --at;
            }
            continue;
        }
        return last;
    }
    return std::string::npos;
}

// Finds the next opening of a secret object at or after `from`: "{", a run of backslashes,
// "\"sensitive", the same run, "\"" and ":", with optional white space after the brace and
// around the colon (pretty-printed JSON). Returns the offset of the brace and sets the run
// length. Each character is looked at a bounded number of times, so a scan over the whole
// text is linear.
std::size_t findSensitiveOpening(const std::string& text, std::size_t from, std::size_t& run) {
    const std::size_t nameLength = sizeof(kSensitiveName) - 1;
    for (std::size_t at = text.find(kSensitiveName, from); at != std::string::npos;
         at = text.find(kSensitiveName, at + nameLength)) {
        if (at < from + 2 || text[at - 1] != '"') {
            continue;
        }
        std::size_t runStart = at - 1;  // walks back over the backslashes before the quote
        while (runStart > from && text[runStart - 1] == '\\') {
            --runStart;
        }
        const std::size_t backslashes = at - 1 - runStart;
        const std::size_t brace = skipSpaceBackward(text, from, runStart);
        if (brace == std::string::npos || text[brace] != '{') {
            continue;
        }
        const std::size_t after = at + nameLength;
        if (text.size() < after + backslashes + 1) {
            continue;
        }
        bool matches = true;
        for (std::size_t i = 0; i < backslashes && matches; ++i) {
            matches = text[after + i] == '\\';
        }
        if (!matches || text[after + backslashes] != '"') {
            continue;
        }
        const std::size_t colon = skipSpaceForward(text, after + backslashes + 1);
        if (colon >= text.size() || text[colon] != ':') {
            continue;
        }
        run = backslashes;
        return brace;
    }
    return std::string::npos;
}

// The text with every control character written as an escape ("\\n", "\\r", "\\t" or
// "\\xHH"), so that it stays on one line of the log file.
std::string escapeControlCharacters(const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            result.push_back(c);
        } else if (c == '\n') {
            result.append("\\n");
        } else if (c == '\r') {
            result.append("\\r");
        } else if (c == '\t') {
            result.append("\\t");
        } else {
            result.append("\\x");
            result.push_back(kDigits[byte >> 4]);
            result.push_back(kDigits[byte & 0xF]);
        }
    }
    return result;
}

// The escaping level whose quote is written with `run` backslashes (2^level - 1 of them).
unsigned escapeLevel(std::size_t run) {
    unsigned level = 0;
    while (run > 0) {
        run /= 2;
        ++level;
    }
    return level;
}

}  // namespace

ILoggerSink::Record::Record(const Time& time, const pthread_t& threadId, const bool& isMainThread,
                            const ILogger::Level& level, const std::string& application,
                            const std::string& facility, const std::string& message,
                            const std::string& tag)
    : _app(application),
      _time(time),
      _epochMillis(static_cast<uint64_t>(time.time_since_epoch().count() / 1000)),
      _threadId(threadIdText(threadId)),
      _isMainThread(isMainThread),
      _level(level),
      _facility(facility),
      _message(message),
      _tag(tag) {}

std::string ILoggerSink::Record::threadIdText(const pthread_t& threadId) {
    static_assert(sizeof(pthread_t) <= sizeof(unsigned long long), "thread handle too wide");
    char buffer[2 + 2 * sizeof(unsigned long long) + 1];
    std::snprintf(buffer, sizeof(buffer), "0x%llx", static_cast<unsigned long long>(threadId));
    return buffer;
}

const char* ILoggerSink::Record::levelName(ILogger::Level level) {
    switch (static_cast<uint32_t>(level)) {
        case ILogger::Trace:
            return "Trace";
        case ILogger::Debug:
            return "Debug";
        case ILogger::Info:
            return "Info";
        case ILogger::Warning:
            return "Warning";
        case ILogger::Error:
            return "Error";
        case ILogger::Fatal:
            return "Fatal";
        case ILogger::None:
            return "None";
        default:
            return "Unknown";
    }
}

std::string ILoggerSink::Record::toString(unsigned long facilityWidth) const {
    const auto micros = _time.time_since_epoch().count();
    const std::time_t seconds =
        static_cast<std::time_t>(micros / 1000000 - (micros % 1000000 < 0 ? 1 : 0));
    std::tm local{};
    localtime_r(&seconds, &local);
    std::ostringstream date;
    date << std::put_time(&local, "%Y-%m-%d %H:%M:%S");
    const long long millis = ((micros / 1000) % 1000 + 1000) % 1000;
    const std::string time = (boost::format("%1%.%2$03d") % date.str() % millis).str();

    const std::string thread = _isMainThread ? std::string("     Main     ") : _threadId;
    // Masked as it stands first, so that a secret whose escaped quotes or braces would end it
    // early once the backslashes are gone is hidden whole, also in a record that did not pass
    // through the logger (a forwarded one).
    // Control characters are escaped last, so that no message can start a line of its own.
    const std::string message = escapeControlCharacters(
        asteriskSensitiveMessage(replaceEscapeCharachers(asteriskSensitiveMessage(_message))));
    return (boost::format("[ %1% ][ %2$=14s ][ %3$-7s ][ %4$=s ][ %5$=s ] - %6%") % time % thread %
            levelName(_level) % boost::io::group(std::setw(9), _app) %
            boost::io::group(std::setw(static_cast<int>(facilityWidth)), _facility) % message)
        .str();
}

std::string ILoggerSink::Record::formattedDate() const {
    const std::time_t seconds = static_cast<std::time_t>(_epochMillis / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char buffer[64];
    const std::size_t length = std::strftime(buffer, sizeof(buffer), "%FT%T.", &utc);
    char millis[8];
    std::snprintf(millis, sizeof(millis), "%03u", static_cast<unsigned>(_epochMillis % 1000));
    return std::string(buffer, length) + millis + "Z";
}

std::string ILoggerSink::Record::replaceEscapeCharachers(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c != '\\') {
            result.push_back(c);
        }
    }
    return result;
}

std::string ILoggerSink::Record::asteriskSensitiveMessage(const std::string& text) {
    std::size_t run = 0;
    std::size_t open = findSensitiveOpening(text, 0, run);
    if (open == std::string::npos) {
        return text;
    }
    std::string result;
    std::size_t copied = 0;
    while (open != std::string::npos) {
        result.append(text, copied, open - copied);
        result.append(kMask);
        const std::size_t end = findObjectEnd(text, open, escapeLevel(run));
        if (end == std::string::npos) {
            return result;
        }
        copied = end;
        open = findSensitiveOpening(text, copied, run);
    }
    result.append(text, copied, std::string::npos);
    return result;
}

ILoggerSink::ILoggerSink(const std::string& name) : _name(name) {}

ILoggerSink::~ILoggerSink() = default;

void ILoggerSink::flush() {}

}  // namespace common
