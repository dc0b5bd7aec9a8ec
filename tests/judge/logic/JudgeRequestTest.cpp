// Reading request heads: where a head ends however it arrives, the limits,
// what is refused as malformed, and query values.
#include "JudgeRequest.h"

#include <gtest/gtest.h>

using namespace judge;

namespace {

// Feeds data in pieces of Step bytes, as a slow client would send it.
THeadScanner::TState ScanInPieces(const QByteArray &data, const TJudgeLimits &limits, int step,
                                  qsizetype *headSize = nullptr)
{
    THeadScanner scanner(limits);
    THeadScanner::TState state = THeadScanner::Incomplete;
    for (qsizetype n = step; state == THeadScanner::Incomplete; n += step) {
        state = scanner.Scan(QByteArrayView(data).first(std::min(n, data.size())));
        if (n >= data.size())
            break;
    }
    if (headSize)
        *headSize = scanner.HeadSize();
    return state;
}

} // namespace

TEST(JudgeRequest, HeadEndsAtTheFirstEmptyLineHoweverItArrives)
{
    const TJudgeLimits limits;
    const QByteArray head = "GET / HTTP/1.1\r\nHost: a\r\n\r\n";
    for (int step : {1, 2, 3, 7, 1000}) {
        qsizetype size = 0;
        EXPECT_EQ(ScanInPieces(head + "BODY", limits, step, &size), THeadScanner::Complete);
        EXPECT_EQ(size, head.size()) << step;
    }
    qsizetype size = 0;
    EXPECT_EQ(ScanInPieces("\r\n\nGET / HTTP/1.0\nA: b\n\nx", limits, 1, &size),
              THeadScanner::Complete); // bare line feeds, empty lines before
    EXPECT_EQ(size, 24);
    EXPECT_EQ(ScanInPieces("GET / HTTP/1.1\r\nHost: a\r\n", limits, 5), THeadScanner::Incomplete);
}

TEST(JudgeRequest, SizeAndLineLimits)
{
    TJudgeLimits limits;
    limits.HeaderBytes = 100;
    limits.HeaderLines = 3;
    auto lines = [](int n) {
        QByteArray head = "GET / HTTP/1.1\r\n";
        for (int i = 0; i < n; ++i)
            head += "A: b\r\n";
        return head + "\r\n";
    };
    EXPECT_EQ(ScanInPieces(lines(3), limits, 1), THeadScanner::Complete);
    EXPECT_EQ(ScanInPieces(lines(4), limits, 1), THeadScanner::TooLarge);
    const QByteArray exact = "GET /" + QByteArray(100 - 18, 'a') + " HTTP/1.1\r\n\r\n";
    ASSERT_EQ(exact.size(), 100);
    EXPECT_EQ(ScanInPieces(exact, limits, 9), THeadScanner::Complete);
    EXPECT_EQ(ScanInPieces("GET /a" + exact.sliced(5), limits, 9), THeadScanner::TooLarge);
    // Endless line ends before a request count against the size too.
    EXPECT_EQ(ScanInPieces(QByteArray(500, '\n'), limits, 50), THeadScanner::TooLarge);
}

TEST(JudgeRequest, ParsesOrRefuses)
{
    TRequestHead r;
    ASSERT_EQ(ParseRequestHead("GET /?a=1 HTTP/1.0\r\nHost: x\r\nX-A:  v  w \t\r\n\r\n", r), 0);
    EXPECT_EQ(r.Method, "GET");
    EXPECT_EQ(r.Target, "/?a=1");
    EXPECT_EQ(r.Version, "HTTP/1.0");
    ASSERT_EQ(r.Headers.size(), 2u);
    EXPECT_EQ(r.Headers[1].Name, "X-A");
    EXPECT_EQ(r.Headers[1].Value, "v  w");
    EXPECT_FALSE(r.HasBody);

    const struct
    {
        QByteArray Head;
        int Status;
    } refused[] = {
        {"GET /\r\n\r\n", 400},                      // no version
        {"GET  / HTTP/1.1\r\n\r\n", 400},            // two blanks
        {"GET / HTTP/1.1 x\r\n\r\n", 400},           // a fourth part
        {"G(T / HTTP/1.1\r\n\r\n", 400},             // not a token
        {"GET / HTTP/1.1\r\nNo colon\r\n\r\n", 400}, // header line without colon
        {"GET / HTTP/1.1\r\nA b: c\r\n\r\n", 400},   // blank in the name
        {"GET / HTTP/1.1\r\n folded\r\n\r\n", 400},  // continuation line
        {"GET / HTTP/1.1\r\nA: b\rc\r\n\r\n", 400},  // a lone CR
        {QByteArray("GET / HTTP/1.1\r\nA: \0\r\n\r\n", 24), 400},
        {"GET / HTTP/2.0\r\n\r\n", 505},
        {"GET / HTTPS/1.1\r\n\r\n", 400},
        {"\r\n\r\n", 400},
    };
    for (const auto &c : refused) {
        TRequestHead head;
        EXPECT_EQ(ParseRequestHead(c.Head, head), c.Status) << c.Head.toStdString();
    }

    for (const char *body : {"Content-Length: 5", "transfer-encoding: chunked"}) {
        TRequestHead head;
        ASSERT_EQ(ParseRequestHead("POST / HTTP/1.1\r\n" + QByteArray(body) + "\r\n\r\n", head), 0);
        EXPECT_TRUE(head.HasBody) << body;
    }
}

TEST(JudgeRequest, QueryValues)
{
    bool found = false;
    EXPECT_EQ(QueryValue("/?token=a%20b&x=1", "token", &found), "a b");
    EXPECT_TRUE(found);
    EXPECT_EQ(QueryValue("http://h/p?x=1&token=t#token=u", "token"), "t");
    EXPECT_EQ(QueryValue("/?tokens=1&token", "token", &found), "");
    EXPECT_TRUE(found);
    EXPECT_EQ(QueryValue("/?x=1#?token=t", "token", &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(QueryValue("/token=t", "token", &found), "");
    EXPECT_FALSE(found);
}
