#include "common/logger/ILoggerSink.h"

#include <cstdio>
#include <ctime>
#include <iomanip>
#include <sstream>
#include <utility>
#include <vector>

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

// Removes one level of JSON string escaping: "\x" becomes "x". The offsets keep pointing
// into the original text.
std::vector<DecodedChar> unescapeOnce(const std::vector<DecodedChar>& in) {
    std::vector<DecodedChar> out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i].c == '\\' && i + 1 < in.size()) {
            out.push_back(in[i + 1]);
            ++i;
        } else {
            out.push_back(in[i]);
        }
    }
    return out;
}

// Offset just past the brace that closes the JSON object opening at `open`, reading the
// text as JSON escaped `level` times; npos when the object is not closed.
std::size_t findObjectEnd(const std::string& text, std::size_t open, unsigned level) {
    std::vector<DecodedChar> chars;
    chars.reserve(text.size() - open);
    for (std::size_t i = open; i < text.size(); ++i) {
        chars.push_back({text[i], i + 1});
    }
    for (unsigned i = 0; i < level; ++i) {
        chars = unescapeOnce(chars);
    }
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char c = chars[i].c;
        if (inString) {
            if (c == '\\') {
                ++i;  // the escaped character never ends the string
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
                return chars[i].end;
            }
        }
    }
    return std::string::npos;
}

// Finds the next opening of a secret object at or after `from`: "{", a run of backslashes,
// "\"sensitive", the same run, "\":". Returns the offset of the brace and sets the run length.
std::size_t findSensitiveOpening(const std::string& text, std::size_t from, std::size_t& run) {
    const std::size_t nameLength = sizeof(kSensitiveName) - 1;
    for (std::size_t at = text.find(kSensitiveName, from); at != std::string::npos;
         at = text.find(kSensitiveName, at + 1)) {
        if (at < 2 || text[at - 1] != '"') {
            continue;
        }
        std::size_t brace = at - 2;  // walks back over the backslashes to the brace
        while (brace > from && text[brace] == '\\') {
            --brace;
        }
        if (brace < from || text[brace] != '{') {
            continue;
        }
        const std::size_t backslashes = at - 2 - brace;
        const std::size_t after = at + nameLength;
        if (text.size() < after + backslashes + 2) {
            continue;
        }
        bool matches = true;
        for (std::size_t i = 0; i < backslashes; ++i) {
            matches = matches && text[after + i] == '\\';
        }
        if (!matches || text.compare(after + backslashes, 2, "\":") != 0) {
            continue;
        }
        run = backslashes;
        return brace;
    }
    return std::string::npos;
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
    const std::string message =
        asteriskSensitiveMessage(replaceEscapeCharachers(asteriskSensitiveMessage(_message)));
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
