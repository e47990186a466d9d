#include "common/launchctl/LaunchJobPlist.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {

namespace {

// Appends `value` as XML character data; false when it holds what XML cannot carry.
bool appendEscaped(const std::string& value, std::string& xml) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
    const std::size_t size = value.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            switch (c) {
                case '&':
                    xml += "&amp;";
                    break;
                case '<':
                    xml += "&lt;";
                    break;
                case '>':
                    xml += "&gt;";
                    break;
                // A raw carriage return would be read back as a line feed.
                case '\r':
                    xml += "&#13;";
                    break;
                case '\t':
                case '\n':
                    xml += static_cast<char>(c);
                    break;
                default:
                    if (c < 0x20 || c == 0x7f) {
                        return false;
                    }
                    xml += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned long codePoint = 0;
        if ((c & 0xe0) == 0xc0) {
            length = 2;
            codePoint = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            length = 3;
            codePoint = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            length = 4;
            codePoint = c & 0x07;
        } else {
            return false;
        }
        if (size - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xc0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (bytes[i + k] & 0x3f);
        }
        static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < kSmallest[length] || codePoint > 0x10ffff ||
            (codePoint >= 0xd800 && codePoint <= 0xdfff) || codePoint == 0xfffe ||
            codePoint == 0xffff) {
            return false;
        }
        xml.append(value, i, length);
        i += length;
    }
    return true;
}

bool appendString(const std::string& indent, const std::string& value, std::string& xml) {
    xml += indent + "<string>";
    if (!appendEscaped(value, xml)) {
        return false;
    }
    xml += "</string>\n";
    return true;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool LaunchJobPlist::render(const LaunchJob& job, std::string& xml) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n"
        "<dict>\n"
        "\t<key>KeepAlive</key>\n"
        "\t<dict>\n"
        "\t\t<key>Crashed</key>\n"
        "\t\t<true/>\n"
        "\t\t<key>SuccessfulExit</key>\n"
        "\t\t<false/>\n"
        "\t</dict>\n"
        "\t<key>Label</key>\n";
    if (!appendString("\t", job.label, text)) {
        return false;
    }
    if (job.agent) {
        text +=
            "\t<key>LimitLoadToSessionType</key>\n"
            "\t<array>\n"
            "\t\t<string>Aqua</string>\n"
            "\t\t<string>LoginWindow</string>\n"
            "\t</array>\n";
    }
    text +=
        "\t<key>OnDemand</key>\n"
        "\t<false/>\n"
        "\t<key>ProgramArguments</key>\n"
        "\t<array>\n";
    for (const auto& argument : job.programArguments) {
        if (!appendString("\t\t", argument, text)) {
            return false;
        }
    }
    text +=
        "\t</array>\n"
        "\t<key>RunAtLoad</key>\n"
        "\t<true/>\n"
        "\t<key>WorkingDirectory</key>\n";
    if (!appendString("\t", job.workingDirectory, text)) {
        return false;
    }
    text +=
        "</dict>\n"
        "</plist>\n";
    xml = std::move(text);
    return true;
}

bool LaunchJobPlist::write(const boost::filesystem::path& file, const LaunchJob& job) {
    std::string xml;
    if (file.empty() || !render(job, xml)) {
        return false;
    }
    // Not truncated on open: a hard link planted at the path must not cost its target its data.
    // Not blocking either: a FIFO planted there is refused below instead of waiting for a reader.
    const int fd =
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        ::close(fd);
        return false;
    }
    const bool written = ftruncate(fd, 0) == 0 && writeAll(fd, xml);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(file.c_str());
        return false;
    }
    return true;
}

}  // namespace common
