#include "common/computerparams/ExtendedAttributesParamsReader.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include "common/util/Util.h"
#include "lib/common/tests/support/LogCapture.h"
#include "platform/tests/xattr/RunProgram.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using common::ExtendedAttributesParamsReader;

namespace {

const char* const kAttribute = "com.orvanta.corvalis";

// A bundle folder in a temporary folder whose file system keeps user attributes.
class ExtendedAttributesParamsReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(_bundle);
        if (!testsupport::userAttributesSupported(_bundle)) {
            GTEST_SKIP() << "the file system of " << _bundle
                         << " refuses user extended attributes (or setfattr is missing)";
        }
    }

    void setAttribute(const std::string& json) {
        ASSERT_TRUE(testsupport::setAttribute(_bundle, "user.com.orvanta.corvalis", json)) << json;
    }

    testsupport::TempDir _dir;
    fs::path _bundle = _dir / "Corvalis.app";
};

}  // namespace

TEST_F(ExtendedAttributesParamsReaderTest, MembersAreParametersWithCaseSensitiveNames) {
    setAttribute(R"({"LogLevel":"3","NoUpdate":1})");
    ExtendedAttributesParamsReader params(kAttribute, _bundle);

    EXPECT_EQ(params.getValue("LogLevel", ""), "3");
    EXPECT_EQ(params.getValue("NoUpdate", ""), "1");
    EXPECT_TRUE(params.hasValue("LogLevel"));
    EXPECT_FALSE(params.hasValue("loglevel"));
    EXPECT_EQ(params.getValue("loglevel", "none"), "none");
    EXPECT_EQ(params.getKeys(), (std::set<std::string>{"LogLevel", "NoUpdate"}));
    EXPECT_EQ(params.getValueAs<bool>("NoUpdate", false), true);
}

TEST_F(ExtendedAttributesParamsReaderTest, ValuesReadAsText) {
    setAttribute(R"({"t":true,"f":false,"n":null,"d":0.1,"big":18446744073709551615,)"
                 R"("neg":-5,"o":{"k":"v"},"a":[1],"e":""})");
    ExtendedAttributesParamsReader params(kAttribute, _bundle);

    EXPECT_EQ(params.getValue("t", ""), "true");
    EXPECT_EQ(params.getValue("f", ""), "false");
    EXPECT_EQ(params.getValue("n", ""), "(null)");
    EXPECT_EQ(params.getValue("d", ""), "0.1");
    EXPECT_EQ(params.getValue("big", ""), "18446744073709551615");
    EXPECT_EQ(params.getValue("neg", ""), "-5");
    EXPECT_EQ(params.getValue("o", ""), "{\n    \"k\": \"v\"\n}");
    EXPECT_EQ(params.getValue("a", ""), "[\n    1\n]");
    EXPECT_TRUE(params.hasValue("e"));
    EXPECT_EQ(params.getValue("e", "default"), "");
}

TEST_F(ExtendedAttributesParamsReaderTest, InvalidOrMissingAttributeGivesAnEmptyLayer) {
    struct Case {
        const char* name;
        std::optional<std::string> attribute;  // no value: the attribute is not set
        bool warned;
    } cases[] = {
        {"array", std::string(R"([{"LogLevel":"3"}])"), true},
        {"not JSON", std::string("LogLevel=3"), true},
        {"truncated object", std::string(R"({"LogLevel":"3")"), true},
        {"string", std::string(R"("LogLevel")"), true},
        {"object followed by more", std::string(R"({"LogLevel":"3"} {})"), true},
        // What the parameter file refuses too: an exponent RapidJSON would overflow on, a
        // number beyond a double, nesting far beyond what the flat attribute needs.
        {"exponent out of range", std::string(R"({"a":0.00000000001e-2147483639})"), true},
        {"infinite number", std::string(R"({"a":804407161E300})"), true},
        {"deep nesting", "{\"a\":" + std::string(100, '[') + std::string(100, ']') + "}", true},
        {"empty", std::string(), false},
        {"missing", std::nullopt, false},
    };
    for (const auto& c : cases) {
        auto log = testsupport::LogCapture::install();
        testsupport::TempDir dir;
        if (c.attribute) {
            ASSERT_TRUE(
                testsupport::setAttribute(dir.path(), "user.com.orvanta.corvalis", *c.attribute))
                << c.name;
        }
        ExtendedAttributesParamsReader params(kAttribute, dir.path());
        EXPECT_TRUE(params.getKeys().empty()) << c.name;
        EXPECT_FALSE(params.hasValue("LogLevel")) << c.name;
        EXPECT_EQ(log->count(common::ILogger::Warning, "is not a JSON object"), c.warned ? 1u : 0u)
            << c.name;
    }
    auto log = testsupport::LogCapture::install();
    ExtendedAttributesParamsReader missingBundle(kAttribute, _dir / "missing.app");
    EXPECT_TRUE(missingBundle.getKeys().empty());
    EXPECT_EQ(log->count(common::ILogger::Warning, "Cannot read the attribute"), 1u);
}

TEST_F(ExtendedAttributesParamsReaderTest, IsReadOnly) {
    setAttribute(R"({"LogLevel":"3"})");
    ExtendedAttributesParamsReader params(kAttribute, _bundle);
    EXPECT_TRUE(params.isReadOnly());
    EXPECT_FALSE(params.setValue("LogLevel", "5"));
    EXPECT_FALSE(params.setValue("Other", "5"));
    EXPECT_FALSE(params.removeValue("LogLevel"));
    EXPECT_EQ(params.getValue("LogLevel", ""), "3");
    EXPECT_EQ(params.getKeys(), (std::set<std::string>{"LogLevel"}));
}

TEST(ExtendedAttributesParamsReaderBundle, BundleOfAnExecutable) {
    struct Case {
        fs::path executable;
        fs::path expected;
    } cases[] = {
        {"/Applications/Corvalis.app/Contents/MacOS/corvalisd", "/Applications/Corvalis.app"},
        {"/opt/corvalis/corvalisd", "/opt/corvalis"},
        {"/opt/Contents/MacOS/corvalisd", "/opt/Contents/MacOS"},
        {"/opt/Corvalis.app/MacOS/corvalisd", "/opt/Corvalis.app/MacOS"},
        {"/opt/.app/Contents/MacOS/corvalisd", "/opt/.app/Contents/MacOS"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtendedAttributesParamsReader::bundlePath(c.executable), c.expected)
            << c.executable;
    }
    // The test program is a plain executable: its bundle is its folder.
    EXPECT_EQ(ExtendedAttributesParamsReader::bundlePath(),
              common::util::getExecutablePathAndFilename().parent_path());
}
