#include "helper/ipc/RequestLogText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using helper::RequestLogText;

TEST(RequestLogText, MasksTheValueAfterEverySecretOption) {
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> masked;
    };
    const Case cases[] = {
        {{"-MonitoringToken", "t0k&n", "-MonitoringUrl", "https://m.example"},
         {"-MonitoringToken", "***", "-MonitoringUrl", "https://m.example"}},
        // A value that begins with "-" is still the option's value.
        {{"-MonitoringToken", "-abc", "-HostId", "h"}, {"-MonitoringToken", "***", "-HostId", "h"}},
        // Empty values stay empty; a secret option at the end has nothing to mask.
        {{"-MonitoringToken", "", "-ProxyPassword"}, {"-MonitoringToken", "", "-ProxyPassword"}},
        {{"-Salt", "s", "-Encrypted", "e", "-monitoringtoken", "x"},
         {"-Salt", "***", "-Encrypted", "***", "-monitoringtoken", "***"}},
        {{"prog", "-install", "-HelperId", "abc"}, {"prog", "-install", "-HelperId", "abc"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RequestLogText::maskArguments(c.arguments), c.masked);
    }
    EXPECT_EQ(RequestLogText::commandLine({"/x/OrvantaRemoteSupportHelper", "-install",
                                           "-InstallationId", "", "-MonitoringToken", "a b"}),
              "/x/OrvantaRemoteSupportHelper -install -InstallationId  -MonitoringToken ***");
}

TEST(RequestLogText, MasksSecretValuesInsideALaunchRequest) {
    EXPECT_EQ(RequestLogText::requestText(
                  R"({"message":{"application":4,"arguments":["-Lang","en-US",)"
                  R"("-MonitoringToken","se\"cret","-ProcessAddress","UnattendedUi-501"],)"
                  R"("$":"RequestLaunchApplication"}})"),
              R"({"message":{"application":4,"arguments":["-Lang","en-US",)"
              R"("-MonitoringToken","***","-ProcessAddress","UnattendedUi-501"],)"
              R"("$":"RequestLaunchApplication"}})");

    // Texts without secrets, and texts that are not requests, are logged as they are.
    const std::string unchanged[] = {
        R"({"message":{"application":4,"$":"RequestKillApplication"}})",
        R"({"message":{"application":4,"arguments":["-Lang","100%"],"$":"RequestLaunchApplication"}})",
        R"({"message":{"application":4,"arguments":[],"$":"RequestLaunchApplication"}})",
        "not json, arguments 100%s",
        R"(["arguments"])",
    };
    for (const auto& text : unchanged) {
        EXPECT_EQ(RequestLogText::requestText(text), text);
    }
}
