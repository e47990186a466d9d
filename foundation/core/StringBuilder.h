#pragma once

#include <sstream>
#include <string>

namespace core {

// Builds a text from streamable values: std::string text = core::StringBuilder() << "a" << 1;
class StringBuilder {
public:
    StringBuilder() = default;

    template <typename T>
    StringBuilder& operator<<(const T& value) {
        m_Stream << value;
        return *this;
    }
    StringBuilder& operator<<(std::ostream& (*manipulator)(std::ostream&)) {
        m_Stream << manipulator;
        return *this;
    }

    std::string str() const { return m_Stream.str(); }
    operator std::string() const { return m_Stream.str(); }

private:
    std::ostringstream m_Stream;
};

}  // namespace core
