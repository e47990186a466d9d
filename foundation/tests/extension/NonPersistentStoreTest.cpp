#include <gtest/gtest.h>

#include "foundation/extension/EventLoopEnvironment.h"
#include "foundation/extension/NonPersistentStore.h"

namespace extension {
namespace {

const auto kDomain0 = static_cast<ISettingsStore::Domain>(0);
const auto kDomain1 = static_cast<ISettingsStore::Domain>(1);
const auto kDomain2 = static_cast<ISettingsStore::Domain>(2);

TEST(NonPersistentStoreTest, KeepsDomainsApartAndIgnoresUnknownDomains) {
    NonPersistentStore store;
    ISettingsStore& settings = store;

    settings.SaveSecureSetting(kDomain0, "key", "secret");
    EXPECT_EQ(settings.LoadSetting(kDomain0, "key"), "secret");
    EXPECT_TRUE(settings.HasSecureSetting(kDomain0, "key"));
    EXPECT_EQ(settings.LoadSetting(kDomain1, "key"), "");
    EXPECT_FALSE(settings.HasSecureSetting(kDomain1, "key"));

    settings.SaveSetting(kDomain1, "key", "one");
    settings.SaveSetting(kDomain1, "key", "two");
    EXPECT_EQ(settings.LoadSecureSetting(kDomain1, "key"), "two");

    settings.SaveSetting(kDomain2, "key", "ignored");
    EXPECT_EQ(settings.LoadSetting(kDomain2, "key"), "");
    EXPECT_FALSE(settings.HasSecureSetting(kDomain2, "key"));

    settings.SaveSetting(kDomain0, "empty", "");
    EXPECT_FALSE(settings.HasSecureSetting(kDomain0, "empty"));
}

}  // namespace
}  // namespace extension
