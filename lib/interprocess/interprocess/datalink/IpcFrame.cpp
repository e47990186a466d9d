#include "interprocess/datalink/IpcFrame.h"

namespace interprocess {

namespace {

void putU64(std::vector<char>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

// Reads frames without ever looking past `size`.
class Cursor {
public:
    Cursor(const char* data, std::size_t size) : _data(data), _size(size) {}

    bool u64(std::uint64_t& value) {
        if (remaining() < 8) {
            return false;
        }
        value = 0;
        for (int i = 0; i < 8; ++i) {
            value |= static_cast<std::uint64_t>(static_cast<unsigned char>(_data[_offset + i]))
                     << (8 * i);
        }
        _offset += 8;
        return true;
    }

    bool byte(unsigned char& value) {
        if (remaining() < 1) {
            return false;
        }
        value = static_cast<unsigned char>(_data[_offset++]);
        return true;
    }

    // `length` bytes, when that many remain.
    bool bytes(std::uint64_t length, const char*& begin) {
        if (length > remaining()) {
            return false;
        }
        begin = _data + _offset;
        _offset += static_cast<std::size_t>(length);
        return true;
    }

    std::size_t remaining() const { return _size - _offset; }

private:
    const char* _data;
    std::size_t _size;
    std::size_t _offset = 0;
};

}  // namespace

std::vector<char> IpcFrame::encode() const {
    std::vector<char> out;
    out.reserve(kFixedSize + source.size() + destination.size() + payload.size());
    putU64(out, source.size());
    out.insert(out.end(), source.begin(), source.end());
    putU64(out, destination.size());
    out.insert(out.end(), destination.begin(), destination.end());
    putU64(out, channel);
    out.push_back(synchronous ? 1 : 0);
    putU64(out, payload.size());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

bool IpcFrame::decode(const char* data, std::size_t size, IpcFrame& frame, std::string& error) {
    if (data == nullptr && size != 0) {
        error = "no data";
        return false;
    }
    Cursor cursor(data, size);
    std::uint64_t length = 0;
    const char* begin = nullptr;

    if (!cursor.u64(length)) {
        error = "truncated source length";
        return false;
    }
    if (!cursor.bytes(length, begin)) {
        error = "source length " + std::to_string(length) + " runs past the frame";
        return false;
    }
    frame.source.assign(begin, static_cast<std::size_t>(length));

    if (!cursor.u64(length)) {
        error = "truncated destination length";
        return false;
    }
    if (!cursor.bytes(length, begin)) {
        error = "destination length " + std::to_string(length) + " runs past the frame";
        return false;
    }
    frame.destination.assign(begin, static_cast<std::size_t>(length));

    unsigned char flag = 0;
    if (!cursor.u64(frame.channel) || !cursor.byte(flag)) {
        error = "truncated channel or flag";
        return false;
    }
    frame.synchronous = flag != 0;

    if (!cursor.u64(length)) {
        error = "truncated payload length";
        return false;
    }
    if (!cursor.bytes(length, begin)) {
        error = "payload length " + std::to_string(length) + " runs past the frame";
        return false;
    }
    frame.payload.assign(reinterpret_cast<const signed char*>(begin),
                         reinterpret_cast<const signed char*>(begin) + length);

    if (cursor.remaining() != 0) {
        error = std::to_string(cursor.remaining()) + " bytes after the payload";
        return false;
    }
    return true;
}

}  // namespace interprocess
