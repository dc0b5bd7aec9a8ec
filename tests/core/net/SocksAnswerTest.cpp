// The SOCKS negotiation without a socket: the messages for each version, the
// proxy's answers however they are split, and every refusal with its reason.
#include "net/SocksAnswer.h"

#include <gtest/gtest.h>

using net::TSocksAnswer;
using TLevel = TSocksAnswer::TLevel;
using TResult = TSocksAnswer::TResult;

namespace {

QByteArray B(const char *Bytes, int Len)
{
    return QByteArray(Bytes, Len);
}

// Runs a whole negotiation: the answers in pieces of Step bytes.
TResult Negotiate(TSocksAnswer &A, const QByteArray &Answers, int Step, QByteArray *Sent = nullptr)
{
    QByteArray Out = A.Start();
    TResult R = Out.isEmpty() ? TResult::Failed : TResult::More;
    for (qsizetype At = 0; At < Answers.size() && R == TResult::More; At += Step) {
        R = A.Feed(Answers.constData() + At,
                   qint32(std::min<qsizetype>(Step, Answers.size() - At)));
        Out += A.TakeOutput();
    }
    if (Sent)
        *Sent = Out;
    return R;
}

} // namespace

TEST(SocksAnswer, MessagesOfEachVersionAndTheirAnswers)
{
    const QByteArray Ok5 = B("\x05\x00\x00\x01\x7f\x00\x00\x01\x1f\x90", 10);
    const struct
    {
        TLevel Level;
        QByteArray Host, User, Password, Answers, Sent;
    } Cases[] = {
        // Version 4: the address; 4A: 0.0.0.1 and the name after the user id.
        {TLevel::Socks4, "10.1.2.3", "bot", "", B("\x00\x5a\x00\x00\x00\x00\x00\x00", 8),
         B("\x04\x01\x00\x50\x0a\x01\x02\x03"
           "bot\x00",
           12)},
        {TLevel::Socks4A, "judge.example", "", "", B("\x00\x5a\x00\x50\x01\x02\x03\x04", 8),
         B("\x04\x01\x00\x50\x00\x00\x00\x01\x00"
           "judge.example\x00",
           23)},
        // Version 5: a name as a domain, a dotted address as IPv4; the bound
        // address of any type is read whole.
        {TLevel::Socks5, "judge.example", "", "", B("\x05\x00", 2) + Ok5,
         B("\x05\x01\x00", 3) + B("\x05\x01\x00\x03\x0d"
                                  "judge.example\x00\x50",
                                  20)},
        {TLevel::Socks5, "127.0.0.1", "", "",
         B("\x05\x00", 2) + B("\x05\x00\x00\x03\x03"
                              "abc\x00\x01",
                              10),
         B("\x05\x01\x00", 3) + B("\x05\x01\x00\x01\x7f\x00\x00\x01\x00\x50", 10)},
        {TLevel::Socks5, "127.0.0.1", "", "",
         B("\x05\x00", 2) + B("\x05\x00\x00\x04", 4) + QByteArray(18, '\x01'),
         B("\x05\x01\x00", 3) + B("\x05\x01\x00\x01\x7f\x00\x00\x01\x00\x50", 10)},
        {TLevel::Socks5, "[::1]", "", "", B("\x05\x00", 2) + Ok5,
         B("\x05\x01\x00", 3) + B("\x05\x01\x00\x04", 4) + QByteArray(15, '\0') +
             B("\x01\x00\x50", 3)},
        // With credentials both methods are offered; the password step runs
        // when the proxy picks it.
        {TLevel::Socks5, "h", "user", "pw", B("\x05\x02\x01\x00", 4) + Ok5,
         B("\x05\x02\x00\x02", 4) +
             B("\x01\x04"
               "user\x02"
               "pw",
               9) +
             B("\x05\x01\x00\x03\x01h\x00\x50", 8)},
    };
    for (const auto &C : Cases) {
        for (int Step : {1, 3, 1000}) {
            SCOPED_TRACE(C.Host.toStdString() + " step " + std::to_string(Step));
            TSocksAnswer A(C.Level, C.Host, 80, C.User, C.Password);
            QByteArray Sent;
            ASSERT_EQ(Negotiate(A, C.Answers, Step, &Sent), TResult::Done)
                << A.Error().toStdString();
            EXPECT_EQ(Sent, C.Sent);
            EXPECT_TRUE(A.Rest().isEmpty());
            EXPECT_EQ(A.BytesHeld(), 0);
        }
    }
    // Bytes after the last answer are handed back, never taken as answer.
    TSocksAnswer A(TLevel::Socks4, "1.2.3.4", 80);
    const QByteArray More = B("\x00\x5a\x00\x00\x00\x00\x00\x00"
                              "HTTP",
                              12);
    ASSERT_EQ(Negotiate(A, More, 1000), TResult::Done);
    EXPECT_EQ(A.Rest(), "HTTP");
}

TEST(SocksAnswer, RefusalsAndMalformedAnswersEndWithTheirReason)
{
    const struct
    {
        TLevel Level;
        QByteArray User, Answers;
        QByteArray Error;
        int Code;
    } Cases[] = {
        {TLevel::Socks5, "", B("\x05\x00\x05\x01\x00\x01", 6), "SOCKS5: general failure (1)", 1},
        {TLevel::Socks5, "", B("\x05\x00\x05\x02", 4),
         "SOCKS5: connection not allowed by ruleset (2)", 2},
        {TLevel::Socks5, "", B("\x05\x00\x05\x03", 4), "SOCKS5: network unreachable (3)", 3},
        {TLevel::Socks5, "", B("\x05\x00\x05\x04", 4), "SOCKS5: host unreachable (4)", 4},
        {TLevel::Socks5, "", B("\x05\x00\x05\x05", 4), "SOCKS5: connection refused (5)", 5},
        {TLevel::Socks5, "", B("\x05\x00\x05\x06", 4), "SOCKS5: TTL expired (6)", 6},
        {TLevel::Socks5, "", B("\x05\x00\x05\x07", 4), "SOCKS5: command not supported (7)", 7},
        {TLevel::Socks5, "", B("\x05\x00\x05\x08", 4), "SOCKS5: address type not supported (8)", 8},
        {TLevel::Socks5, "", B("\x05\x00\x05\x09", 4), "SOCKS5: unknown error (9)", 9},
        {TLevel::Socks5, "u", B("\x05\x02\x01\x01", 4), "SOCKS5: authentication refused", 1},
        {TLevel::Socks5, "", B("\x05\xff", 2), "SOCKS5: authentication required", 0},
        {TLevel::Socks5, "u", B("\x05\xff", 2), "SOCKS5: no acceptable authentication method", 0},
        {TLevel::Socks4, "", B("\x00\x5b", 2), "SOCKS4: request rejected (91)", 91},
        {TLevel::Socks4, "", B("\x00\x5c", 2), "SOCKS4: request rejected, no identd (92)", 92},
        {TLevel::Socks4, "", B("\x00\x5d", 2), "SOCKS4: request rejected, user id mismatch (93)",
         93},
        // Wrong version bytes, a method that was not offered, an unknown
        // address type, an HTTP answer.
        {TLevel::Socks5, "", B("\x04\x00", 2), "SOCKS: malformed answer", 0},
        {TLevel::Socks5, "", B("\x05\x02", 2), "SOCKS: malformed answer", 0},
        {TLevel::Socks5, "u", B("\x05\x02\x02\x00", 4), "SOCKS: malformed answer", 0},
        {TLevel::Socks5, "", B("\x05\x00\x05\x00\x00\x02", 6), "SOCKS: malformed answer", 0},
        {TLevel::Socks5, "", B("\x05\x00\x04\x00", 4), "SOCKS: malformed answer", 0},
        {TLevel::Socks4, "", "HTTP/1.0 400 Bad Request\r\n", "SOCKS: malformed answer", 0},
    };
    for (const auto &C : Cases) {
        for (int Step : {1, 1000}) {
            SCOPED_TRACE(C.Error.toStdString() + " step " + std::to_string(Step));
            TSocksAnswer A(C.Level, "1.2.3.4", 80, C.User, "p");
            EXPECT_EQ(Negotiate(A, C.Answers, Step), TResult::Failed);
            EXPECT_EQ(A.Error(), C.Error);
            EXPECT_EQ(A.ErrorCode(), C.Code);
            // Once failed, it stays failed.
            EXPECT_EQ(A.Feed("\x05\x00", 2), TResult::Failed);
        }
    }
    // What cannot be put in a message is refused before anything is sent.
    TSocksAnswer Name4(TLevel::Socks4, "judge.example", 80);
    EXPECT_TRUE(Name4.Start().isEmpty());
    EXPECT_EQ(Name4.Error(), "SOCKS4: the target is not an IPv4 address");
    for (const QByteArray &Bad : {QByteArray(256, 'h'), QByteArray("bad host"), QByteArray()}) {
        TSocksAnswer A(TLevel::Socks5, Bad, 80);
        EXPECT_TRUE(A.Start().isEmpty());
        EXPECT_EQ(A.Error(), "SOCKS: invalid target or user name");
    }
    TSocksAnswer LongUser(TLevel::Socks5, "h", 80, QByteArray(256, 'u'), "p");
    EXPECT_TRUE(LongUser.Start().isEmpty());
    EXPECT_EQ(LongUser.Error(), "SOCKS5: user name or password too long");
}
