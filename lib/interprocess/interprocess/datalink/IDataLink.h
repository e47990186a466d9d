#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/actor/Stoppable.h"

namespace interprocess {

// One endpoint of the inter-process messaging: it owns the message queue named after its
// participant ("<prefix>_<participant>") and puts frames into the queues of other participants
// of the same prefix. Nothing blocks: `send` and `receive` return at once.
class IDataLink : public common::Stoppable {
public:
    // A link with a logger of facility "DataLink"; no queue exists until `init`.
    static std::unique_ptr<IDataLink> create(const std::string& prefix,
                                             const std::string& participant);

    ~IDataLink() override = default;

    // Creates the own queue (a leftover of the same name is removed first), mode 0666.
    virtual bool init(const unsigned long& maxMessageCount,
                      const unsigned long& maxMessageSize) = 0;
    // Puts one frame into the addressee's queue; true when the queue took it.
    virtual bool send(const std::string& participant, const unsigned long& channel,
                      const std::vector<signed char>& payload, bool synchronous) = 0;
    // Takes at most one frame from the own queue; true when a frame addressed to this
    // participant was taken.
    virtual bool receive(std::vector<signed char>& payload, std::string& source,
                         unsigned long& channel, bool& synchronous) = 0;
    // The own participant name.
    virtual std::string getName() const = 0;
    // The queue name of a participant with this link's prefix.
    virtual std::string getName(const std::string& participant) const = 0;
};

}  // namespace interprocess
