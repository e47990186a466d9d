#include "interprocess/datalink/DataLink.h"

#include <boost/interprocess/exceptions.hpp>
#include <boost/interprocess/ipc/message_queue.hpp>
#include <boost/interprocess/permissions.hpp>
#include <boost/interprocess/shared_memory_object.hpp>

#include "interprocess/datalink/IpcFrame.h"

namespace interprocess {

namespace bip = boost::interprocess;

class DataLink::Queue {
public:
    explicit Queue(std::unique_ptr<bip::message_queue> queue) : queue(std::move(queue)) {}
    std::unique_ptr<bip::message_queue> queue;
};

std::unique_ptr<IDataLink> IDataLink::create(const std::string& prefix,
                                             const std::string& participant) {
    return std::make_unique<DataLink>(prefix, participant, common::ILogger::create("DataLink"));
}

DataLink::DataLink(const std::string& prefix, const std::string& participant,
                   std::unique_ptr<common::ILogger> logger)
    : _prefix(prefix), _participant(participant), _logger(std::move(logger)) {
    if (!_logger) {
        _logger = common::ILogger::create("DataLink");
    }
    _logger->setSubFacility(_participant);
}

DataLink::~DataLink() {
    stop();
}

bool DataLink::stop() {
    if (isStopped()) {
        return false;
    }
    if (_queue) {
        _queue.reset();
        bip::shared_memory_object::remove(getName(_participant).c_str());
        _maxMessageCount = 0;
        _maxMessageSize = 0;
        _buffer.clear();
        _buffer.shrink_to_fit();
    }
    return markStopped();
}

bool DataLink::init(const unsigned long& maxMessageCount, const unsigned long& maxMessageSize) {
    const std::string name = getName(_participant);
    bip::shared_memory_object::remove(name.c_str());
    _maxMessageCount = maxMessageCount;
    _maxMessageSize = maxMessageSize;
    try {
        auto queue =
            std::make_unique<bip::message_queue>(bip::create_only, name.c_str(), maxMessageCount,
                                                 maxMessageSize, bip::permissions(0666));
        _buffer.assign(maxMessageSize, 0);
        _queue = std::make_unique<Queue>(std::move(queue));
    } catch (const bip::interprocess_exception& e) {
        _logger->error("unable to create ipc message queue: '%s'", e.what());
        return false;
    } catch (const std::exception& e) {
        // For example an allocation refused for an absurd size.
        _logger->error("unable to create ipc message queue: '%s'", e.what());
        return false;
    }
    return true;
}

bool DataLink::send(const std::string& participant, const unsigned long& channel,
                    const std::vector<signed char>& payload, bool synchronous) {
    if (payload.size() > _maxMessageSize) {
        _logger->warning("message size bigger (%zu) then max message size", payload.size());
    }
    const std::string name = getName(participant);
    try {
        bip::message_queue queue(bip::open_only, name.c_str());
        IpcFrame frame;
        frame.source = _participant;
        frame.destination = participant;
        frame.channel = channel;
        frame.synchronous = synchronous;
        frame.payload = payload;
        const std::vector<char> bytes = frame.encode();
        if (!queue.try_send(bytes.data(), bytes.size(), 0)) {
            _logger->error("Something went wrong, try send failed. Filename: %s", name.c_str());
            return false;
        }
    } catch (const bip::interprocess_exception& e) {
        _logger->error("unable to send message, error: '%s'! Filename: %s", e.what(), name.c_str());
        return false;
    }
    return true;
}

bool DataLink::receive(std::vector<signed char>& payload, std::string& source,
                       unsigned long& channel, bool& synchronous) {
    if (!_queue) {
        return false;
    }
    try {
        bip::message_queue::size_type received = 0;
        unsigned int priority = 0;
        if (!_queue->queue->try_receive(_buffer.data(), _buffer.size(), received, priority)) {
            return false;
        }
        if (received > _buffer.size()) {
            _logger->warning("dropping malformed frame: %s", "received size beyond the buffer");
            return false;
        }
        IpcFrame frame;
        std::string error;
        if (!IpcFrame::decode(_buffer.data(), static_cast<std::size_t>(received), frame, error)) {
            _logger->warning("dropping malformed frame: %s", error.c_str());
            return false;
        }
        if (frame.destination != _participant) {
            _logger->warning("message addressee ('%s') different then destination ('%s')",
                             frame.destination.c_str(), _participant.c_str());
            return false;
        }
        channel = static_cast<unsigned long>(frame.channel);
        synchronous = frame.synchronous;
        payload = std::move(frame.payload);
        source = std::move(frame.source);
    } catch (const bip::interprocess_exception& e) {
        _logger->error("unable to receive message: '%s'", e.what());
        return false;
    }
    return true;
}

std::string DataLink::getName() const {
    return _participant;
}

std::string DataLink::getName(const std::string& participant) const {
    return _prefix + "_" + participant;
}

}  // namespace interprocess
