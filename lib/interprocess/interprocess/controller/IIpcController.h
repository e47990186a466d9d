#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/actor/Stoppable.h"
#include "common/delegate/Observable.h"
#include "common/logger/ILogger.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "helper/apptype/ApplicationType.h"
#include "interprocess/controller/IIpcControllerClient.h"

namespace interprocess {

// A program's single endpoint for messages to and from the other programs: it listens for
// peers, keeps one transport per peer and routes by the kind of program (the peer whose
// participant name begins with the kind's name). Messages for a kind without a peer wait until
// such a peer connects.
class IIpcController : public common::Observable<IIpcControllerClient>, public common::Stoppable {
public:
    // Stores the arguments and takes the task queue "IpcController"; opens nothing.
    static std::unique_ptr<IIpcController> create(const std::string& participant,
                                                  const std::string& prefix,
                                                  common::ITaskScheduler& scheduler,
                                                  std::unique_ptr<common::ILogger> logger);

    ~IIpcController() override = default;

    // Opens the own queue and listens; false when the queue cannot be made.
    virtual bool start() = 0;
    // Sends the text to the peer of that kind, or keeps it until one connects. False only for
    // an empty text.
    virtual bool send(const helper::ApplicationType& application, const std::string& json) = 0;
    // Connects to the participant "Service" and reports the outcome.
    virtual void connectToService(std::function<void(bool)> completion) = 0;
    // Blocks until the peer of that kind has handled the text (at most just over 101 s).
    virtual bool synchronousSend(const helper::ApplicationType& application,
                                 const std::string& json) = 0;
};

}  // namespace interprocess
