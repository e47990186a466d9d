#pragma once

#include <locale>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>

namespace common {

// A store of text values under text keys. Typed access goes through the helpers below, which
// read and write the values with the standard streams (booleans as "1" and "0").
class IParams {
public:
    IParams() = default;
    virtual ~IParams() = default;
    IParams(const IParams&) = delete;
    IParams& operator=(const IParams&) = delete;

    // Group several operations; the plain layers do nothing here.
    virtual void lock() {}
    virtual void unlock() {}

    virtual bool isReadOnly() const = 0;
    virtual std::string getValue(const std::string& key, const std::string& defaultValue) const = 0;
    virtual bool setValue(const std::string& key, std::string value) = 0;
    virtual bool hasValue(const std::string& key) const = 0;
    virtual bool removeValue(const std::string& key) = 0;
    virtual std::set<std::string> getKeys() const = 0;

    // The default when the key has no value; otherwise the value read as a T.
    template <typename T>
    T getValueAs(const std::string& key, const T& defaultValue) const;

    // The text read with an input stream into a T; a text that cannot be read gives 0.
    // A bool is read as an integer: any integer but 0 is true, a text that does not start
    // with a number is false ("true" included).
    template <typename T>
    T valueAs(const std::string& text) const;

    // Stores the value written with an output stream; a bool as "1" or "0".
    template <typename T>
    bool setValueAs(const std::string& key, T value);

    // Character-class tests: non-empty and made only of digits; of digits and "-"; of
    // digits, "-" and ".".
    bool isUnsignedInteger(const std::string& text) const;
    bool isInteger(const std::string& text) const;
    bool isFloat(const std::string& text) const;

    // "key: value\n" for every key in ascending order, for logging; the values of secret
    // parameters show as "***".
    std::string toString() const;

private:
    // Holds lock() for the duration of a typed read, so that the test and the read see the
    // same state.
    class Guard {
    public:
        explicit Guard(const IParams& params) : _params(const_cast<IParams&>(params)) {
            _params.lock();
        }
        ~Guard() { _params.unlock(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        IParams& _params;
    };
};

template <typename T>
T IParams::getValueAs(const std::string& key, const T& defaultValue) const {
    Guard guard(*this);
    if (!hasValue(key)) {
        return defaultValue;
    }
    return valueAs<T>(getValue(key, std::string()));
}

template <typename T>
T IParams::valueAs(const std::string& text) const {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    if constexpr (std::is_same_v<T, bool>) {
        long long number = 0;
        stream >> number;
        return !stream.fail() && number != 0;
    } else {
        T value{};
        stream >> value;
        if (stream.fail()) {
            return T{};
        }
        return value;
    }
}

template <typename T>
bool IParams::setValueAs(const std::string& key, T value) {
    if constexpr (std::is_same_v<T, bool>) {
        return setValue(key, value ? "1" : "0");
    } else {
        std::ostringstream stream;
        stream.imbue(std::locale::classic());
        stream << value;
        return setValue(key, stream.str());
    }
}

}  // namespace common
