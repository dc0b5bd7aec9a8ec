// What a client of one of the servers (vexo-judge, vexo-gateway) can make it
// hold or wait for, in one place.
//
// Both are meant to take connections from peers nobody vouches for. Each
// limit has a fixed answer (listed in the README), and none of them stops the
// server.
#pragma once

#include <QtGlobal>

#include <algorithm>

namespace server {

// The request line and header lines together, line ends included: 431.
inline constexpr qsizetype MaxHeaderBytes = 16 * 1024;
// Header lines of one request (the request line not counted): 431.
inline constexpr int MaxHeaderLines = 100;
// Time from the accepted connection to the end of the request's header:
// 408, then the connection is closed. Counts the whole header, so a client
// that trickles bytes cannot hold a connection open for longer.
inline constexpr int ReadTimeoutMs = 10000;
// Time to hand an answer to a client that does not read it: the connection
// is closed.
inline constexpr int WriteTimeoutMs = 10000;
// After an answer that left unread bytes behind (a request body, an error),
// the server reads and drops what still comes for this long before closing,
// so that the client gets the answer instead of a reset.
inline constexpr int LingerMs = 2000;
// ... and drops at most this much of it: a client that keeps sending is cut
// off sooner.
inline constexpr qsizetype MaxLingerBytes = 64 * 1024;
// Connections served at the same time; one over the cap gets 503 at once
// and is closed.
inline constexpr int MaxConnections = 1024;
// Connections of one source address served at the same time, by default
// this share of the cap (at least one): one client holding idle
// connections cannot starve the others. One over it gets 503 at once.
inline constexpr int PerSourceShare = 16;
// Queue of connections the kernel completes before the server accepts them.
inline constexpr int ListenBacklog = 4096;

// The limits a server runs with: the constants above unless a test or the
// command line (--max-connections, --max-per-source) says otherwise.
struct TServerLimits
{
    qsizetype HeaderBytes = MaxHeaderBytes;
    int HeaderLines = MaxHeaderLines;
    int ReadTimeout = ReadTimeoutMs;
    int WriteTimeout = WriteTimeoutMs;
    int Linger = LingerMs;
    int Connections = MaxConnections;
    int PerSource = 0; // 0: a share of Connections, whatever that ends up as

    int SourceCap() const
    {
        return PerSource > 0 ? PerSource : std::max(1, Connections / PerSourceShare);
    }
};

} // namespace server
