#pragma once

#include <unistd.h>

#include <boost/interprocess/ipc/message_queue.hpp>
#include <boost/interprocess/permissions.hpp>
#include <memory>
#include <string>
#include <vector>

#include "common/util/Util.h"
#include "helper/ipc/IpcMessageQueue.h"

namespace helpertest {

// A fresh helper id for one test, so that tests running in parallel never share a queue name.
inline std::string uniqueHelperId() {
    return "t" + common::util::generateNanoId(9, "0123456789abcdefghijklmnopqrstuvwxyz");
}

// The receiving end of a helper request queue as the helper tool's agent creates it (100 ×
// 16384, mode 0600), removed again on destruction.
class AgentQueue {
public:
    explicit AgentQueue(std::string helperId = uniqueHelperId(), unsigned long uid = ::getuid())
        : helperId(std::move(helperId)),
          uid(uid),
          name(helper::IpcMessageQueue::generateIpcName(this->helperId, uid)) {
        boost::interprocess::message_queue::remove(name.c_str());
        queue = std::make_unique<boost::interprocess::message_queue>(
            boost::interprocess::create_only, name.c_str(), 100, 16384,
            boost::interprocess::permissions(0600));
    }
    ~AgentQueue() {
        queue.reset();
        boost::interprocess::message_queue::remove(name.c_str());
    }
    AgentQueue(const AgentQueue&) = delete;
    AgentQueue& operator=(const AgentQueue&) = delete;

    // The next message, false when the queue is empty.
    bool receive(std::string& text, unsigned int& priority) {
        std::string buffer(16384, '\0');
        boost::interprocess::message_queue::size_type size = 0;
        if (!queue->try_receive(&buffer[0], buffer.size(), size, priority)) {
            return false;
        }
        text = buffer.substr(0, size);
        return true;
    }

    // Every message waiting, in the order of receipt.
    std::vector<std::string> drain() {
        std::vector<std::string> texts;
        std::string text;
        unsigned int priority = 0;
        while (receive(text, priority)) {
            texts.push_back(text);
        }
        return texts;
    }

    const std::string helperId;
    const unsigned long uid;
    const std::string name;
    std::unique_ptr<boost::interprocess::message_queue> queue;
};

}  // namespace helpertest
