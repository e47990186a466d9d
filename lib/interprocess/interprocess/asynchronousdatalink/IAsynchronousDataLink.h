#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/actor/Stoppable.h"
#include "common/delegate/Observable.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "interprocess/asynchronousdatalink/IAsynchronousDataLinkClient.h"
#include "interprocess/datalink/IDataLink.h"

namespace interprocess {

// One program's polled message-queue endpoint, shared by every connection of its IPC endpoint.
// A poll task takes one incoming frame every 100 ms and tells the clients; sends are queued as
// tasks and report through their callback.
class IAsynchronousDataLink : public common::Observable<IAsynchronousDataLinkClient>,
                              public common::Stoppable {
public:
    // Takes the link and the queue over; not running until `init`.
    static std::shared_ptr<IAsynchronousDataLink> create(std::unique_ptr<IDataLink> link,
                                                         std::unique_ptr<common::ITaskQueue> queue);

    ~IAsynchronousDataLink() override = default;

    // Creates the own queue (100 messages of 16384 bytes) and starts the poll.
    virtual bool init() = 0;
    // Queues the send; the callback later gets the result (never called once stopped).
    virtual void send(const std::string& participant, const unsigned long& channel,
                      const std::string& text, std::function<void(bool)> callback) = 0;
    // Sends a synchronous frame and blocks the calling thread until the addressee's echo of
    // that frame arrives (true) or just over 101 s have passed (false).
    virtual bool synchronousSend(const std::string& participant, const unsigned long& channel,
                                 const std::string& text) = 0;
    virtual std::string getName() const = 0;
};

}  // namespace interprocess
