#pragma once

#include <string>
#include <vector>

namespace standin {

// The user's preferred languages, taken from the locale environment of the process.
class Locale {
public:
    // The languages in the "en-US" form, most preferred first, without duplicates: the entries
    // of LANGUAGE (a colon-separated list), then LC_ALL, LC_MESSAGES and LANG. Entries that name
    // no language ("C", "POSIX", empty texts, paths) are left out; the list may be empty.
    static std::vector<std::string> preferredLanguages();

    // A locale name such as "de_DE.UTF-8@euro" in the "de-DE" form: the encoding (from ".")
    // and the modifier (from "@") removed, "_" turned into "-". Empty for "C", "POSIX", an
    // empty text and anything that does not start with a letter or holds other characters
    // than letters, digits, "_" and "-".
    static std::string languageTag(const std::string& localeName);
};

}  // namespace standin
