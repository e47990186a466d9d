#pragma once

namespace common {
namespace metrics {
// Tags of the metric records that the programs produce.
namespace Tag {

namespace HttpQuery {
inline constexpr char BytesReceived[] = "httpquery-bytes-received";
}  // namespace HttpQuery

namespace WebSocket {
inline constexpr char BytesReceived[] = "websocket-bytes-received";
inline constexpr char BytesSent[] = "websocket-bytes-sent";
inline constexpr char Connected[] = "websocket-connected";
inline constexpr char Disconnected[] = "websocket-disconnected";
}  // namespace WebSocket

namespace Health {
inline constexpr char UnattendedStarting[] = "health-unattended-starting";
}  // namespace Health

}  // namespace Tag
}  // namespace metrics
}  // namespace common
