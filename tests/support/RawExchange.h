// One request over a plain TCP connection from the test's event loop, for
// servers that must be seen byte for byte: sends the bytes, reads until the
// server closes.
//
//   RawAnswer A = exchange("127.0.0.1", Port, "GET / HTTP/1.0\r\n\r\n");
//   EXPECT_EQ(A.status(), 200);
#pragma once

#include <QByteArray>

namespace testsupport {

struct RawAnswer
{
    QByteArray raw;      // everything received
    bool closed = false; // the server closed the connection (not our timeout)
    int status() const;  // from the status line; 0 when there is none
    // The first header line of that name (any letter case), its value trimmed.
    QByteArray header(const QByteArray &Name) const;
    QByteArray body() const;
};

// Connects to Host:Port (from the local address From when given), sends
// Bytes at once and reads until the server closes or TimeoutMs have passed.
RawAnswer exchange(const QByteArray &Host, quint16 Port, const QByteArray &Bytes,
                   const QByteArray &From = {}, int TimeoutMs = 5000);

} // namespace testsupport
