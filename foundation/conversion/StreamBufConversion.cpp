#include "foundation/conversion/StreamBufConversion.h"

#include <algorithm>

#include <boost/asio/buffer.hpp>

namespace conversion {

std::string StreamBufToString(boost::asio::streambuf& streamBuffer) {
    std::string out(streamBuffer.size(), '\0');
    const std::size_t copied =
        boost::asio::buffer_copy(boost::asio::buffer(&out[0], out.size()), streamBuffer.data());
    out.resize(copied);
    streamBuffer.consume(copied);
    return out;
}

core::NonInitializingBuffer<unsigned char> StreamBufToByteBuffer(
    boost::asio::streambuf& streamBuffer) {
    return StreamBufToByteBuffer(streamBuffer, streamBuffer.size());
}

core::NonInitializingBuffer<unsigned char> StreamBufToByteBuffer(
    boost::asio::streambuf& streamBuffer, unsigned long count) {
    core::NonInitializingBuffer<unsigned char> out;
    const std::size_t wanted = std::min<std::size_t>(count, streamBuffer.size());
    if (wanted == 0) {
        return out;
    }
    out.resize(wanted);
    const std::size_t copied =
        boost::asio::buffer_copy(boost::asio::buffer(out.data(), wanted), streamBuffer.data());
    out.resize(copied);
    streamBuffer.consume(copied);
    return out;
}

}  // namespace conversion
