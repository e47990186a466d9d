#pragma once

#include <ostream>
#include <sstream>
#include <string>

namespace logging {
namespace detail {

// A record value that prints itself; every value of this type in a record is appended to the
// record's console line.
class attribute_holder {
public:
    template <typename T>
    explicit attribute_holder(const T& value) {
        std::ostringstream stream;
        stream << value;
        m_Text = stream.str();
    }

    const std::string& text() const { return m_Text; }

    friend std::ostream& operator<<(std::ostream& stream, const attribute_holder& holder) {
        return stream << holder.m_Text;
    }

private:
    std::string m_Text;
};

}  // namespace detail
}  // namespace logging
