// The judge page as the analyser reads it: the markers come first and come
// out clean, and nothing a client sends can move or fake them, cut the page
// short or bring markup into it. Also the signed client addresses.
#include "JudgePage.h"
#include "ClientToken.h"
#include "analyser/JudgeAnalysis.h"

#include <gtest/gtest.h>

using namespace judge;

namespace {

TRequestHead Request(THeaderFields headers)
{
    TRequestHead r;
    r.Method = "GET";
    r.Target = "/?client=10.9.9.9&sig=00";
    r.Version = "HTTP/1.0";
    r.Headers = std::move(headers);
    return r;
}

} // namespace

TEST(JudgePage, AnalyserReadsAddressAndLevel)
{
    for (const QByteArray peer : {"1.2.3.4", "123.123.123.123"}) {
        for (TAnonyLevel level : {alNoProxy, alProxyTraces, alInnerAddress, alClientShown}) {
            const QByteArray page = JudgePage(Request({}), peer, 4000, level);
            EXPECT_EQ(analyser::Gateway(page).Text, peer);
            EXPECT_EQ(analyser::GetLevel(page).Text, QByteArray::number(int(level)));
        }
    }
}

TEST(JudgePage, HostileHeadersCannotMoveTheMarkers)
{
    const THeaderFields hostile = {
        {"X-A", "REMOTE_ADDR=6.6.6.6"},
        {"X-B", "AnonyLevel>1"},
        {"X-C", "</pre><script>alert(1)</script>&'\""},
        {"X-D", QByteArray("a\x01"
                           "b\x7f"
                           "c\td\x1b",
                           8)},
        {"X-E", "caf\xc3\xa9"},
    };
    const QByteArray page = JudgePage(Request(hostile), "5.6.7.8", 4000, alAddressForwarded);
    EXPECT_EQ(analyser::Gateway(page).Text, "5.6.7.8");
    EXPECT_EQ(analyser::GetLevel(page).Text, "3");
    EXPECT_TRUE(page.contains("HTTP_X_C=&lt;/pre&gt;&lt;script&gt;alert(1)&lt;/script&gt;"
                              "&amp;&#39;&quot;\n"));
    EXPECT_TRUE(page.contains("HTTP_X_D=a&#1;b&#127;c\td&#27;\n"));
    EXPECT_TRUE(page.contains("HTTP_X_E=caf\xc3\xa9\n"));
    EXPECT_FALSE(page.contains("<script"));
    // The query may carry the client's address: never echoed.
    EXPECT_FALSE(page.contains("10.9.9.9"));
    // The cap takes the page exactly as long as it comes out.
    const TRequestHead request = Request(hostile);
    EXPECT_EQ(JudgePage(request, "5.6.7.8", 4000, alAddressForwarded, page.size()), page);
    EXPECT_TRUE(JudgePage(request, "5.6.7.8", 4000, alAddressForwarded, page.size() - 1).isEmpty());
}

TEST(JudgePage, ResponsesCloseAndAreNeverStored)
{
    const QByteArray get = Response(200, "text/html", "PAGE", false);
    const QByteArray head = Response(200, "text/html", "PAGE", true);
    EXPECT_TRUE(get.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(get.endsWith("\r\n\r\nPAGE"));
    EXPECT_EQ(head, get.chopped(4)); // the same header, Content-Length: 4 included
    for (const char *line : {"\r\nContent-Length: 4\r\n", "\r\nCache-Control: no-store\r\n",
                             "\r\nConnection: close\r\n"})
        EXPECT_TRUE(get.contains(line)) << line;
    const QByteArray refused = ErrorResponse(405);
    EXPECT_TRUE(refused.startsWith("HTTP/1.1 405 Method Not Allowed\r\n"));
    EXPECT_TRUE(refused.contains("\r\nAllow: GET, HEAD\r\n"));
    EXPECT_TRUE(refused.endsWith("\r\n\r\n405 Method Not Allowed\n"));
}

TEST(ClientToken, SignatureHoldsOnlyForItsAddressAndSecret)
{
    const QByteArray secret = "0123456789abcdef-secret";
    const QByteArray sig = SignClient(secret, "203.0.113.7");
    EXPECT_EQ(sig.size(), 32);
    EXPECT_EQ(ClientQuery(secret, "203.0.113.7"), "client=203.0.113.7&sig=" + sig);
    EXPECT_TRUE(VerifyClient(secret, "203.0.113.7", sig));
    EXPECT_TRUE(VerifyClient(secret, "203.0.113.7", sig.toUpper()));
    EXPECT_FALSE(VerifyClient(secret, "203.0.113.8", sig));
    EXPECT_FALSE(VerifyClient(secret + "x", "203.0.113.7", sig));
    EXPECT_FALSE(VerifyClient(secret, "203.0.113.7", sig.chopped(1)));
    EXPECT_FALSE(VerifyClient(secret, "203.0.113.7", ""));
    // A short secret signs nothing, whoever computed the signature.
    EXPECT_FALSE(VerifyClient("short", "203.0.113.7", SignClient("short", "203.0.113.7")));
    EXPECT_FALSE(VerifyClient("", "203.0.113.7", SignClient("", "203.0.113.7")));
}
