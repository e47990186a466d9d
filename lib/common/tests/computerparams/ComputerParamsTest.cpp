#include "common/computerparams/ComputerParams.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "common/params/Params.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using common::ComputerParams;
using testsupport::ScopedEnv;

namespace {

// The locale environment and the system root under the test's control.
class ComputerParamsTest : public ::testing::Test {
protected:
    void setLanguages(std::optional<std::string> language, std::optional<std::string> lcAll,
                      std::optional<std::string> lcMessages, std::optional<std::string> lang) {
        _language.emplace("LANGUAGE", std::move(language));
        _lcAll.emplace("LC_ALL", std::move(lcAll));
        _lcMessages.emplace("LC_MESSAGES", std::move(lcMessages));
        _lang.emplace("LANG", std::move(lang));
    }

    testsupport::TempDir _root;
    ScopedEnv _systemRoot{"ORV_SYSTEM_ROOT", _root.path().string()};
    std::optional<ScopedEnv> _language, _lcAll, _lcMessages, _lang;
};

}  // namespace

TEST_F(ComputerParamsTest, LangIsTheFirstPreferredLanguageWhenApproved) {
    using Env = std::optional<std::string>;
    struct Case {
        Env language, lcAll, lcMessages, lang;
        std::string expected;
    } cases[] = {
        // [en-US, de]
        {Env("en_US:de"), std::nullopt, std::nullopt, std::nullopt, "en-US"},
        // [de-DE, en]: only the first language counts
        {Env("de_DE:en"), std::nullopt, std::nullopt, std::nullopt, "en"},
        // [EN-us]: the comparison is case-sensitive
        {std::nullopt, std::nullopt, std::nullopt, Env("EN_us"), "en"},
        {std::nullopt, std::nullopt, std::nullopt, Env("en_GB.UTF-8"), "en-GB"},
        {std::nullopt, std::nullopt, Env("en_IE.UTF-8@euro"), Env("de_DE"), "en-IE"},
        {std::nullopt, Env("C.UTF-8"), std::nullopt, Env("en_AU.UTF-8"), "en-AU"},
        {Env(""), Env("fr_FR.UTF-8"), std::nullopt, Env("en_US.UTF-8"), "en"},
        {std::nullopt, std::nullopt, std::nullopt, Env("en"), "en"},
        {std::nullopt, std::nullopt, std::nullopt, Env("e"), "en"},
        // No language at all
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, "en"},
        {Env("C"), Env("POSIX"), Env(""), Env("C.UTF-8"), "en"},
    };
    for (const auto& c : cases) {
        setLanguages(c.language, c.lcAll, c.lcMessages, c.lang);
        const std::string context =
            "LANGUAGE=" + c.language.value_or("-") + " LC_ALL=" + c.lcAll.value_or("-") +
            " LC_MESSAGES=" + c.lcMessages.value_or("-") + " LANG=" + c.lang.value_or("-");
        EXPECT_EQ(ComputerParams::getCurrentLocale(), c.expected) << context;
        EXPECT_EQ(ComputerParams().getValue("Lang", "?"), c.expected) << context;
    }
}

TEST_F(ComputerParamsTest, OnlyEnglishIsApproved) {
    EXPECT_TRUE(ComputerParams::isLanguageApproved("en"));
    for (const char* language : {"EN", "en-US", "de", "", "e"}) {
        EXPECT_FALSE(ComputerParams::isLanguageApproved(language)) << language;
    }
}

TEST_F(ComputerParamsTest, HostIdIsTheMd5OfTheSerialNumber) {
    struct Case {
        const char* name;
        std::optional<std::string> productSerial, machineId;
        std::string expected;
    } cases[] = {
        {"product serial", std::string("abc\n"), std::string("other\n"),
         "900150983cd24fb0d6963f7d28e17f72"},
        {"machine id", std::nullopt, std::string("abc\n"), "900150983cd24fb0d6963f7d28e17f72"},
        {"no serial: digest of the empty input", std::nullopt, std::nullopt,
         "d41d8cd98f00b204e9800998ecf8427e"},
    };
    for (const auto& c : cases) {
        testsupport::TempDir root;
        ScopedEnv systemRoot("ORV_SYSTEM_ROOT", root.path().string());
        if (c.productSerial) {
            root.write("sys/class/dmi/id/product_serial", *c.productSerial);
        }
        if (c.machineId) {
            root.write("etc/machine-id", *c.machineId);
        }
        EXPECT_EQ(ComputerParams::getEncryptionHostId(), c.expected) << c.name;
        EXPECT_EQ(ComputerParams().getValue("HostId", ""), c.expected) << c.name;
    }
}

TEST_F(ComputerParamsTest, KeysAreCaseInsensitiveAndTheLayerIsReadOnly) {
    setLanguages(std::nullopt, std::nullopt, std::nullopt, std::string("en_US.UTF-8"));
    _root.write("etc/machine-id", "abc\n");
    ComputerParams params;

    EXPECT_EQ(params.getKeys(), (std::set<std::string>{"HostId", "Lang"}));
    for (const char* key : {"HostId", "hostid", "HOSTID"}) {
        EXPECT_TRUE(params.hasValue(key)) << key;
        EXPECT_EQ(params.getValue(key, ""), "900150983cd24fb0d6963f7d28e17f72") << key;
    }
    EXPECT_EQ(params.getValue("LANG", ""), "en-US");
    EXPECT_FALSE(params.hasValue("Salt"));
    EXPECT_EQ(params.getValue("Salt", "default"), "default");

    EXPECT_TRUE(params.isReadOnly());
    EXPECT_FALSE(params.removeValue("HostId"));
    EXPECT_TRUE(params.hasValue("HostId"));

    // In a layered store nothing is written into it.
    common::Params layered;
    layered.addLayer(std::make_unique<ComputerParams>(), 3);
    EXPECT_FALSE(layered.setValue("HostId", "0000"));
    EXPECT_EQ(layered.getValue("hostid", ""), "900150983cd24fb0d6963f7d28e17f72");
}
