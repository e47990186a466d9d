#include "helper/ipc/IpcMessageQueue.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/interprocess/exceptions.hpp>
#include <boost/interprocess/ipc/message_queue.hpp>
#include <cstdint>
#include <memory>

#include "common/logger/ILogger.h"
#include "helper/ipc/RequestLogText.h"

namespace helper {

namespace bip = boost::interprocess;

namespace {

// The size of the shared-memory object of a queue the agent creates: the queue library's own
// computation for its limits, its bookkeeping header included.
std::size_t expectedQueueSize() {
    return bip::ipcdetail::mq_hdr_t<bip::offset_ptr<void>>::get_mem_size(
        IpcMessageQueue::kMaxMessageSize, IpcMessageQueue::kMaxMessages);
}

// The queue library keeps the state of a segment in its first word; 2 marks one whose
// creation has finished. Opening a segment in any other state makes the library spin or fail.
constexpr std::uint32_t kInitializedSegment = 2;

class Descriptor {
public:
    explicit Descriptor(int fd) : _fd(fd) {}
    ~Descriptor() {
        if (_fd >= 0) {
            ::close(_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return _fd; }

private:
    int _fd;
};

}  // namespace

std::string IpcMessageQueue::generateIpcName(const std::string& helperId,
                                             const unsigned long& uid) {
    return "orvmq-" + helperId + "-" + std::to_string(uid);
}

bool IpcMessageQueue::isUsableQueue(const std::string& name, const unsigned long& uid) {
    // shm_open refuses a name with "/" past its first character, so no name leaves /dev/shm; a
    // zero byte would cut the name short and name another object.
    if (name.find('\0') != std::string::npos) {
        return false;
    }
    const Descriptor fd(::shm_open(("/" + name).c_str(), O_RDONLY | O_CLOEXEC, 0));
    if (fd.get() < 0) {
        return false;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<unsigned long>(status.st_uid) != uid ||
        static_cast<std::size_t>(status.st_size) != expectedQueueSize()) {
        return false;
    }
    void* const first = ::mmap(nullptr, sizeof(std::uint32_t), PROT_READ, MAP_SHARED, fd.get(), 0);
    if (first == MAP_FAILED) {
        return false;
    }
    const std::uint32_t state =
        __atomic_load_n(static_cast<const std::uint32_t*>(first), __ATOMIC_ACQUIRE);
    ::munmap(first, sizeof(std::uint32_t));
    return state == kInitializedSegment;
}

bool IpcMessageQueue::send(const std::string& helperId, const unsigned long& uid,
                           const std::string& text) {
    const std::unique_ptr<common::ILogger> logger =
        common::ILogger::create("IpcMessageQueue::Send");
    const std::string name = generateIpcName(helperId, uid);
    logger->info("Send msg to %s", name.c_str());
    logger->info("%s", RequestLogText::requestText(text).c_str());

    if (!isUsableQueue(name, uid)) {
        return false;
    }
    try {
        bip::message_queue queue(bip::open_only, name.c_str());
        return queue.try_send(text.data(), text.size(), kSendPriority);
    } catch (const bip::interprocess_exception&) {
        return false;
    }
}

}  // namespace helper
