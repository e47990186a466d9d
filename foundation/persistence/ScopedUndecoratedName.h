#pragma once

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <typeinfo>

namespace persistence {

// The readable name of one type and, inside it, the unqualified name: the demangled text
// without a leading "class " or "struct " and without everything up to its last ':'.
// "interprocess::protocol::ConnectTo" gives "ConnectTo". The demangled text is owned and
// released with the object. When the name cannot be demangled the mangled text is used as is.
class scoped_undecorated_name_base {
public:
    explicit scoped_undecorated_name_base(const char* mangledName) {
        int status = 0;
        m_demangled = abi::__cxa_demangle(mangledName, nullptr, nullptr, &status);
        const char* text = (status == 0 && m_demangled != nullptr) ? m_demangled : mangledName;
        m_fullName = text;

        static const char kClass[] = "class ";
        static const char kStruct[] = "struct ";
        if (std::strncmp(text, kClass, sizeof(kClass) - 1) == 0) {
            text += sizeof(kClass) - 1;
        }
        if (std::strncmp(text, kStruct, sizeof(kStruct) - 1) == 0) {
            text += sizeof(kStruct) - 1;
        }
        const char* lastColon = std::strrchr(text, ':');
        m_name = lastColon != nullptr ? lastColon + 1 : text;
    }

    explicit scoped_undecorated_name_base(const std::type_info& type)
        : scoped_undecorated_name_base(type.name()) {}

    ~scoped_undecorated_name_base() { std::free(m_demangled); }

    scoped_undecorated_name_base(const scoped_undecorated_name_base&) = delete;
    scoped_undecorated_name_base& operator=(const scoped_undecorated_name_base&) = delete;

    // The demangled name, qualified.
    const char* FullName() const { return m_fullName; }
    // The name without namespaces and enclosing classes.
    const char* UnqualifiedName() const { return m_name; }

private:
    char* m_demangled = nullptr;
    const char* m_fullName = nullptr;
    const char* m_name = nullptr;
};

// The unqualified name of T, worked out once per type.
template <class T>
const std::string& UnqualifiedTypeName() {
    static const std::string name = scoped_undecorated_name_base(typeid(T)).UnqualifiedName();
    return name;
}

}  // namespace persistence
