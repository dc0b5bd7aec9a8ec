// Reading a proxy's answer to CONNECT: however the bytes are split, the same
// status, reason and tunnel bytes; limits and non-HTTP answers refused.
#include "net/ConnectAnswer.h"
#include "util/Limits.h"

#include <gtest/gtest.h>

using net::TConnectAnswer;
using TResult = TConnectAnswer::TResult;

namespace {

// Feeds Bytes in pieces of Step bytes; the result of the last Feed.
TResult FeedInPieces(TConnectAnswer &A, const QByteArray &Bytes, int Step)
{
    TResult R = TResult::More;
    for (qsizetype At = 0; At < Bytes.size() && R == TResult::More; At += Step)
        R = A.Feed(Bytes.constData() + At, qint32(std::min<qsizetype>(Step, Bytes.size() - At)));
    return R;
}

} // namespace

TEST(ConnectAnswer, StatusReasonAndTunnelBytesWhateverTheSplit)
{
    const QByteArray Answer = "HTTP/1.1 200 Connection established\r\nProxy-Agent: x\r\n\r\n";
    for (int Step : {1, 2, 7, 1000}) {
        SCOPED_TRACE(Step);
        TConnectAnswer A;
        // Only bytes up to the end of the header are taken by the answer;
        // the first bytes of the tunnel come back.
        const QByteArray Tunnel("\x16\x03\x03\x00\x05hello", 10);
        if (Step == 1000) {
            const QByteArray All = Answer + Tunnel;
            ASSERT_EQ(A.Feed(All.constData(), qint32(All.size())), TResult::Done);
            EXPECT_EQ(A.Rest(), Tunnel);
        } else {
            ASSERT_EQ(FeedInPieces(A, Answer, Step), TResult::Done);
            EXPECT_TRUE(A.Rest().isEmpty());
        }
        EXPECT_EQ(A.StatusCode(), 200);
        EXPECT_EQ(A.ReasonPhrase(), "Connection established");
        EXPECT_TRUE(A.Established());
    }
    {
        // LF alone ends lines too; a refusal is no tunnel.
        TConnectAnswer A;
        const QByteArray R = "HTTP/1.0 407 Proxy Authentication Required\nX: y\n\nbody";
        ASSERT_EQ(A.Feed(R.constData(), qint32(R.size())), TResult::Done);
        EXPECT_EQ(A.StatusCode(), 407);
        EXPECT_EQ(A.ReasonPhrase(), "Proxy Authentication Required");
        EXPECT_FALSE(A.Established());
    }
    {
        // A status line without a reason.
        TConnectAnswer A;
        ASSERT_EQ(A.Feed("HTTP/1.0 204\r\n\r\n", 16), TResult::Done);
        EXPECT_EQ(A.StatusCode(), 204);
        EXPECT_TRUE(A.ReasonPhrase().isEmpty());
        EXPECT_TRUE(A.Established());
    }
}

TEST(ConnectAnswer, RefusesWhatIsNoHttpAnswerOrBreaksALimit)
{
    const struct
    {
        QByteArray Bytes;
        const char *Error;
    } Cases[] = {
        {"SSH-2.0-OpenSSH_9.2\r\n", "Invalid answer to CONNECT"},
        {"\r\nHTTP/1.0 200 OK\r\n\r\n", "Invalid answer to CONNECT"},
        {"HTTP/1.0 2x0 OK\r\n\r\n", "Invalid answer to CONNECT"},
        {"HTTP/1.0 200OK\r\n\r\n", "Invalid answer to CONNECT"},
        {"http/1.0 200 OK\r\n\r\n", "Invalid answer to CONNECT"},
        {QByteArray("HTTP/1.0 200 OK\r\nX: a\0b\r\n\r\n", 27), "NUL byte in HTTP header"},
        {"HTTP/1.0 200 " + QByteArray(limits::MaxHeaderLineBytes, 'r'), "HTTP line too long"},
        {"HTTP/1.0 200 OK\r\n" + QByteArray("X: y\r\n").repeated(limits::MaxHeaderLines),
         "HTTP header too large"},
        {"HTTP/1.0 200 OK\r\n" + ("X: " + QByteArray(8000, 'y') + "\r\n").repeated(9),
         "HTTP header too large"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Error);
        for (int Step : {1, 4096}) {
            TConnectAnswer A;
            EXPECT_EQ(FeedInPieces(A, C.Bytes, Step), TResult::Failed);
            EXPECT_EQ(A.Error(), C.Error);
            EXPECT_LE(A.BytesHeld(), limits::MaxHeaderLineBytes);
            // Once failed, it stays failed.
            EXPECT_EQ(A.Feed("\r\n\r\n", 4), TResult::Failed);
        }
    }
    {
        // The longest line that fits, its LF included, is taken.
        TConnectAnswer A;
        const QByteArray Line = "HTTP/1.0 200 " + QByteArray(limits::MaxHeaderLineBytes - 14, 'r');
        const QByteArray All = Line + "\n\n";
        EXPECT_EQ(A.Feed(All.constData(), qint32(All.size())), TResult::Done);
    }
}
