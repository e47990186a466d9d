#pragma once

#include <string>

namespace helper {

// The helper request queue: a boost.interprocess message queue named
// "orvmq-<helper id>-<uid>", read by the helper tool's agent of that user. The daemon's side
// only opens an existing queue and puts one request text into it, without waiting.
class IpcMessageQueue {
public:
    // The limits with which the agent creates its queue.
    static constexpr unsigned long kMaxMessages = 100;
    static constexpr unsigned long kMaxMessageSize = 16384;
    // Priority of every request the daemon sends.
    static constexpr unsigned int kSendPriority = 1;

    // "orvmq-" + helper id + "-" + the uid in decimal.
    static std::string generateIpcName(const std::string& helperId, const unsigned long& uid);

    // Puts the text, without a terminating zero, into the queue of the user `uid` at priority 1.
    // False when there is no such queue, it is full, the text does not fit a message, or the
    // queue is not one the agent of that user made (see below).
    static bool send(const std::string& helperId, const unsigned long& uid,
                     const std::string& text);

    // Whether the shared-memory object behind the queue name can safely be opened as the
    // request queue of `uid`: a regular object owned by that user, of the size of a queue of
    // kMaxMessages × kMaxMessageSize, and fully initialised. The daemon maps it with its own
    // rights, so a file of another owner (someone squatting on the name to read the requests)
    // or of another shape (which would make the queue library spin or read out of bounds) is
    // refused before the library touches it.
    static bool isUsableQueue(const std::string& name, const unsigned long& uid);
};

}  // namespace helper
