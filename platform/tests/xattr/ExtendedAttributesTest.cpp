#include "platform/xattr/ExtendedAttributes.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>
#include <cerrno>

#include "platform/tests/xattr/RunProgram.h"
#include "testsupport/TempDir.h"

using standin::ExtendedAttributes;

namespace {

class ExtendedAttributesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::userAttributesSupported(_dir.path())) {
            GTEST_SKIP() << "the file system of " << _dir.path()
                         << " refuses user extended attributes (or setfattr is missing)";
        }
    }

    testsupport::TempDir _dir;
};

}  // namespace

TEST(ExtendedAttributesName, LivesInTheUserNamespace) {
    EXPECT_EQ(ExtendedAttributes::systemName("com.orvanta.corvalis"), "user.com.orvanta.corvalis");
}

TEST_F(ExtendedAttributesTest, ReadsWhatSetfattrWrote) {
    struct Case {
        const char* name;
        std::string written;  // as given to setfattr
        std::string expected;
    } cases[] = {
        {"json", R"({"LogLevel":"3","NoUpdate":1})", R"({"LogLevel":"3","NoUpdate":1})"},
        {"bytes with zeros", "0x410042000043", std::string("A\0B\0\0C", 6)},
        {"large", std::string(3000, 'x'), std::string(3000, 'x')},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(testsupport::setAttribute(_dir.path(), "user.com.orvanta.corvalis", c.written))
            << c.name;
        int error = -1;
        const auto value = ExtendedAttributes::read(_dir.path(), "com.orvanta.corvalis", &error);
        ASSERT_TRUE(value.has_value()) << c.name << ": errno " << error;
        EXPECT_EQ(*value, c.expected) << c.name;
        EXPECT_EQ(error, 0) << c.name;
    }
}

TEST_F(ExtendedAttributesTest, OtherNamespacesAndNamesAreNotRead) {
    ASSERT_TRUE(testsupport::setAttribute(_dir.path(), "user.com.orvanta.other", "1"));
    int error = 0;
    EXPECT_FALSE(ExtendedAttributes::read(_dir.path(), "com.orvanta.corvalis", &error));
    EXPECT_EQ(error, ENODATA);
    // The name is always mapped into the user namespace, never used as it stands.
    EXPECT_FALSE(ExtendedAttributes::read(_dir.path(), "user.com.orvanta.other", &error));
    EXPECT_EQ(error, ENODATA);
}

TEST_F(ExtendedAttributesTest, EmptyAttributeIsAnEmptyValue) {
    ASSERT_TRUE(testsupport::setAttribute(_dir.path(), "user.com.orvanta.corvalis", ""));
    const auto value = ExtendedAttributes::read(_dir.path(), "com.orvanta.corvalis");
    ASSERT_TRUE(value.has_value());
    EXPECT_TRUE(value->empty());
}

TEST_F(ExtendedAttributesTest, FollowsSymbolicLinks) {
    const auto target = _dir / "bundle";
    boost::filesystem::create_directory(target);
    ASSERT_TRUE(testsupport::setAttribute(target, "user.com.orvanta.corvalis", "{}"));
    boost::filesystem::create_directory_symlink(target, _dir / "link");
    EXPECT_EQ(ExtendedAttributes::read(_dir / "link", "com.orvanta.corvalis"), std::string("{}"));
}

TEST(ExtendedAttributesErrors, MissingPathOrEmptyPathGivesNoValue) {
    testsupport::TempDir dir;
    int error = 0;
    EXPECT_FALSE(ExtendedAttributes::read(dir / "missing", "com.orvanta.corvalis", &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(ExtendedAttributes::read(boost::filesystem::path(), "com.orvanta.corvalis"));
}
