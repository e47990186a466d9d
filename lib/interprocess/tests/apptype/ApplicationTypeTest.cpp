#include "helper/apptype/ApplicationType.h"

#include <gtest/gtest.h>

using helper::ApplicationType;

TEST(ApplicationTypeTest, NamesAndAddresses) {
    EXPECT_STREQ(helper::ToString(ApplicationType::Service), "Service");
    EXPECT_STREQ(helper::ToString(ApplicationType::AppletUi), "AppletUi");
    EXPECT_STREQ(helper::ToString(ApplicationType::ProcessChecker), "ProcessChecker");
    EXPECT_STREQ(helper::ToString(ApplicationType::UnattendedUi), "UnattendedUi");
    EXPECT_STREQ(helper::ToString(static_cast<ApplicationType>(0)), "");
    EXPECT_STREQ(helper::ToString(static_cast<ApplicationType>(5)), "");

    const struct {
        const char* address;
        int kind;
    } cases[] = {{"Service", 1},        {"UnattendedUi-501", 4}, {"AppletUi", 2},
                 {"ProcessChecker", 0}, {"Helper", 0},           {"", 0},
                 {"Serv", 0},           {"ServiceX", 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<int>(helper::getApplicationFromAddress(c.address)), c.kind)
            << c.address;
    }
}
