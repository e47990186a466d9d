#include "foundation/network/HostResolver.h"

#include <boost/asio/ip/tcp.hpp>

#include "foundation/conversion/LexicalCast.h"
#include "foundation/network/AsyncService.h"

namespace network {

HostResolver::HostResolver(std::shared_ptr<AsyncService> service)
    : logging::LogSource("HostResolver"), m_Service(std::move(service)) {}

void HostResolver::AsyncResolveAll(const Endpoint& endpoint, Callback callback) {
    auto self = shared_from_this();

    std::string portText;
    conversion::in_place_lexical_cast(portText, endpoint.port);

    Log(logging::Debug) << "Resolving address " << endpoint.host;

    using tcp = boost::asio::ip::tcp;
    auto resolver = std::make_shared<tcp::resolver>(m_Service->GetImplementation());
    const std::string host = endpoint.host;
    const uint16_t port = endpoint.port;
    resolver->async_resolve(
        host, portText, tcp::resolver::numeric_service,
        [self, resolver, host, port, callback = std::move(callback)](
            const boost::system::error_code& error, tcp::resolver::results_type results) {
            std::deque<ResolvedEndpoint> endpoints;
            if (error) {
                self->Log(logging::Error) << "Address resolution failed when connecting to <"
                                          << host << ":" << port << ">; reason: " << error;
                callback(error, std::move(endpoints));
                return;
            }
            std::size_t number = 0;
            for (const auto& entry : results) {
                const auto address = entry.endpoint().address();
                self->Log(logging::Debug) << "[" << ++number << "] " << address.to_string();
                endpoints.push_back(ResolvedEndpoint{address, port});
            }
            callback(boost::system::error_code(0, boost::system::system_category()),
                     std::move(endpoints));
        });
}

}  // namespace network
