#pragma once

#include <string>

#include <boost/asio/streambuf.hpp>

#include "foundation/core/NonInitializingBuffer.h"

namespace conversion {

// Each of these takes the bytes out of the stream buffer (they are consumed).
std::string StreamBufToString(boost::asio::streambuf& streamBuffer);
core::NonInitializingBuffer<unsigned char> StreamBufToByteBuffer(
    boost::asio::streambuf& streamBuffer);
// The first `count` bytes, or all of them when fewer are readable.
core::NonInitializingBuffer<unsigned char> StreamBufToByteBuffer(
    boost::asio::streambuf& streamBuffer, unsigned long count);

}  // namespace conversion
