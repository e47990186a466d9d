#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "interprocess/datalink/IDataLink.h"

namespace interprocess {

// The data link over boost.interprocess message queues (POSIX shared memory).
class DataLink : public IDataLink {
public:
    DataLink(const std::string& prefix, const std::string& participant,
             std::unique_ptr<common::ILogger> logger);
    ~DataLink() override;

    bool stop() override;
    bool init(const unsigned long& maxMessageCount, const unsigned long& maxMessageSize) override;
    bool send(const std::string& participant, const unsigned long& channel,
              const std::vector<signed char>& payload, bool synchronous) override;
    bool receive(std::vector<signed char>& payload, std::string& source, unsigned long& channel,
                 bool& synchronous) override;
    std::string getName() const override;
    std::string getName(const std::string& participant) const override;

private:
    class Queue;

    std::string _prefix;
    std::string _participant;
    std::unique_ptr<common::ILogger> _logger;
    std::unique_ptr<Queue> _queue;
    unsigned long _maxMessageCount = 0;
    unsigned long _maxMessageSize = 0;
    std::vector<char> _buffer;
};

}  // namespace interprocess
