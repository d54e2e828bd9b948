#pragma once
// How long the bot waits for its servers and how it notices a dead link, side by side:
// a bot left alone for months must never wait for ever, and must not give up on a quiet
// channel either.

#include <cstddef>
#include <cstdint>

namespace corvane {

// A logon that has not reached the channel this long after its connection was opened is
// abandoned, and the reconnection rules run.
inline constexpr std::uint32_t kLogonTimeoutMs = 30'000;
// A BNLS request unanswered this long abandons the logon the same way.
inline constexpr std::uint32_t kBnlsAnswerTimeoutMs = 15'000;

// Once logged on, an empty SID_NULL goes to the chat server this often, as game clients
// send it. It gives TCP something to acknowledge, so that a peer that vanished is noticed.
inline constexpr std::uint32_t kKeepAliveMs = 60'000;

// TCP keep-alive on every connection: probes after this long without traffic, this far
// apart, this many; and unacknowledged data for this long ends the connection. With the
// keep-alive message above, a vanished peer is reported within about two minutes.
inline constexpr int kTcpKeepIdleS = 60;
inline constexpr int kTcpKeepIntervalS = 10;
inline constexpr int kTcpKeepCount = 6;
inline constexpr unsigned kTcpUserTimeoutMs = 60'000;

// Output to a server that has stopped reading waits at most this much; past it the
// connection is closed as lost.
inline constexpr std::size_t kMaxPendingOutput = 1 << 20;

}  // namespace corvane
