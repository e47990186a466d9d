#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "LogRecorder.h"
#include "ServicePolling.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/HostResolver.h"

using network::AsyncService;
using network::HostResolver;
using network::ResolvedEndpoint;

namespace {

struct Result {
    int calls = 0;
    boost::system::error_code error;
    std::deque<ResolvedEndpoint> endpoints;
};

class HostResolverTest : public ::testing::Test {
protected:
    Result Resolve(const std::string& host, uint16_t port) {
        Result result;
        resolver->AsyncResolveAll({host, port}, [&](const boost::system::error_code& error,
                                                    std::deque<ResolvedEndpoint>&& endpoints) {
            ++result.calls;
            result.error = error;
            result.endpoints = std::move(endpoints);
        });
        EXPECT_TRUE(networktest::PollUntil(*service, [&] { return result.calls > 0; }));
        service->Poll();
        return result;
    }

    networktest::ScopedLogRecorder log;
    std::shared_ptr<AsyncService> service =
        std::make_shared<AsyncService>(AsyncService::Polled, "ResolverTest");
    std::shared_ptr<HostResolver> resolver = std::make_shared<HostResolver>(service);
};

}  // namespace

TEST_F(HostResolverTest, AddressLiteralsResolveToThemselves) {
    auto result = Resolve("127.0.0.1", 8080);
    EXPECT_EQ(result.calls, 1);
    EXPECT_FALSE(result.error);
    ASSERT_EQ(result.endpoints.size(), 1u);
    EXPECT_EQ(result.endpoints[0].address.to_string(), "127.0.0.1");
    EXPECT_EQ(result.endpoints[0].port, 8080);
    EXPECT_TRUE(log->Has("HostResolver", logging::Debug, "Resolving address 127.0.0.1"));
    EXPECT_TRUE(log->Has("HostResolver", logging::Debug, "[1] 127.0.0.1"));

    auto v6 = Resolve("::1", 0);
    ASSERT_EQ(v6.endpoints.size(), 1u);
    EXPECT_TRUE(v6.endpoints[0].address.is_v6());
    EXPECT_EQ(v6.endpoints[0].port, 0);
}

TEST_F(HostResolverTest, LocalhostGivesEveryAddressWithThePort) {
    auto result = Resolve("localhost", 443);
    ASSERT_FALSE(result.error) << result.error.message();
    ASSERT_FALSE(result.endpoints.empty());
    for (const auto& endpoint : result.endpoints) {
        EXPECT_TRUE(endpoint.address.is_loopback()) << endpoint.address.to_string();
        EXPECT_EQ(endpoint.port, 443);
    }
}

TEST_F(HostResolverTest, UnknownNameFailsOnceWithAnEmptyList) {
    // A name the system refuses before it would ask any name server.
    auto result = Resolve("no_such_host!", 80);
    EXPECT_EQ(result.calls, 1);
    EXPECT_TRUE(result.error);
    EXPECT_TRUE(result.endpoints.empty());
    EXPECT_TRUE(
        log->Has("HostResolver", logging::Error,
                 "Address resolution failed when connecting to <no_such_host!:80>; reason: "));
}

TEST_F(HostResolverTest, NothingCompletesWithoutAPoll) {
    bool called = false;
    resolver->AsyncResolveAll(
        {"127.0.0.1", 1},
        [&](const boost::system::error_code&, std::deque<ResolvedEndpoint>&&) { called = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(called);
    EXPECT_TRUE(networktest::PollUntil(*service, [&] { return called; }));
}

TEST(HostResolverOwnershipTest, ThrowsWhenNotOwnedBySharedPointer) {
    auto service = std::make_shared<AsyncService>(AsyncService::Polled, "Unowned");
    HostResolver resolver(service);
    EXPECT_THROW(resolver.AsyncResolveAll({"127.0.0.1", 1}, [](const boost::system::error_code&,
                                                               std::deque<ResolvedEndpoint>&&) {}),
                 std::bad_weak_ptr);
}
