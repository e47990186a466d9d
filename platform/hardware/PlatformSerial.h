#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

namespace standin {

// The machine's platform serial number: the text of /sys/class/dmi/id/product_serial when it
// holds a serial number, else the text of /etc/machine-id, both read below the system root.
// Surrounding white space is not part of the serial; an empty file or one of the placeholders
// that firmware writes in place of a serial ("Not Specified", "To Be Filled By O.E.M.", ...)
// counts as no serial number.
class PlatformSerial {
public:
    // The serial number below the system root (standin::SystemRoot); empty when there is none.
    static std::string read();
    // The same below another root folder.
    static std::string read(const boost::filesystem::path& root);

    // Whether `text` (already trimmed) is one of the firmware's placeholders for "no serial".
    static bool isPlaceholder(const std::string& text);
};

}  // namespace standin
