#include "platform/locale/Locale.h"

#include <algorithm>
#include <cstdlib>

namespace standin {

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

void addLanguage(std::vector<std::string>& languages, const std::string& localeName) {
    const std::string tag = Locale::languageTag(localeName);
    if (!tag.empty() && std::find(languages.begin(), languages.end(), tag) == languages.end()) {
        languages.push_back(tag);
    }
}

}  // namespace

std::vector<std::string> Locale::preferredLanguages() {
    std::vector<std::string> languages;
    const std::string list = environmentValue("LANGUAGE");
    std::string::size_type begin = 0;
    while (begin <= list.size()) {
        const std::string::size_type end = std::min(list.find(':', begin), list.size());
        addLanguage(languages, list.substr(begin, end - begin));
        begin = end + 1;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        addLanguage(languages, environmentValue(name));
    }
    return languages;
}

std::string Locale::languageTag(const std::string& localeName) {
    std::string name = localeName.substr(0, localeName.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX" || !isAsciiLetter(name.front())) {
        return std::string();
    }
    for (char& c : name) {
        if (c == '_') {
            c = '-';
        } else if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '-') {
            return std::string();
        }
    }
    return name;
}

}  // namespace standin
