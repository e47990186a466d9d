#pragma once

#include <string>

namespace interprocess {

// An observer of the asynchronous data link; called on the main thread from the link's poll.
class IAsynchronousDataLinkClient {
public:
    virtual ~IAsynchronousDataLinkClient() = default;

    // A frame without the synchronous flag arrived; `text` is its payload.
    virtual void onAsynchronousDataLinkMessageReceived(std::string source, unsigned long channel,
                                                       std::string text) = 0;
    // A frame with the synchronous flag arrived; it is echoed once every client has seen it.
    virtual void onAsynchronousDataLinkSynchronousMessageReceived(std::string source,
                                                                  unsigned long channel,
                                                                  std::string text) = 0;
};

}  // namespace interprocess
