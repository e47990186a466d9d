#include "platform/locale/Locale.h"

#include <gtest/gtest.h>

#include <optional>

#include "testsupport/ScopedEnv.h"

using standin::Locale;

TEST(Locale, LanguageTagOfLocaleNames) {
    struct Case {
        std::string name;
        std::string expected;
    } cases[] = {
        {"en_US.UTF-8", "en-US"},
        {"de_DE@euro", "de-DE"},
        {"de_DE.ISO-8859-15@euro", "de-DE"},
        {"sr_RS@latin", "sr-RS"},
        {"en", "en"},
        {"pt-BR", "pt-BR"},
        {"EN_us", "EN-us"},
        {"C", ""},
        {"C.UTF-8", ""},
        {"POSIX", ""},
        {"", ""},
        {".UTF-8", ""},
        {"/usr/share/locale/de", ""},
        {"en US", ""},
        {"1en", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Locale::languageTag(c.name), c.expected) << '"' << c.name << '"';
    }
}

TEST(Locale, PreferredLanguagesFromTheEnvironment) {
    using Env = std::optional<std::string>;
    struct Case {
        Env language, lcAll, lcMessages, lang;
        std::vector<std::string> expected;
    } cases[] = {
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}},
        {std::nullopt, std::nullopt, std::nullopt, Env("en_GB.UTF-8"), {"en-GB"}},
        {Env("de_DE:en::fr"),
         std::nullopt,
         std::nullopt,
         Env("en_US.UTF-8"),
         {"de-DE", "en", "fr", "en-US"}},
        {Env(""), Env("de_AT.UTF-8"), Env("fr_FR"), Env("en_US"), {"de-AT", "fr-FR", "en-US"}},
        {std::nullopt, Env("C.UTF-8"), Env("POSIX"), Env("it_IT"), {"it-IT"}},
        {Env("en_US:en_US"), std::nullopt, Env("en_US.UTF-8"), std::nullopt, {"en-US"}},
        {Env("C"), Env("C"), Env(""), Env("C"), {}},
    };
    for (const auto& c : cases) {
        testsupport::ScopedEnv language("LANGUAGE", c.language);
        testsupport::ScopedEnv lcAll("LC_ALL", c.lcAll);
        testsupport::ScopedEnv lcMessages("LC_MESSAGES", c.lcMessages);
        testsupport::ScopedEnv lang("LANG", c.lang);
        EXPECT_EQ(Locale::preferredLanguages(), c.expected)
            << "LANGUAGE=" << c.language.value_or("-") << " LC_ALL=" << c.lcAll.value_or("-")
            << " LC_MESSAGES=" << c.lcMessages.value_or("-") << " LANG=" << c.lang.value_or("-");
    }
}
