// Extraction of proxies from page text: the patterns, the validation of each
// candidate, the line pairing of table layouts, and the report to the site.
#include "leecher/Extraction.h"
#include "leecher/Leech.h"
#include "leecher/PageRegex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace leecher;

namespace {

QByteArray B(std::string_view s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

// "host|port" per accepted proxy, for compact expectations.
std::vector<std::string> Flat(const TProxyList &list)
{
    std::vector<std::string> out;
    for (const TProxyItem &p : list)
        out.push_back(p.Host.toStdString() + "|" + p.Port.toStdString());
    return out;
}

std::vector<std::string> Flat(const QList<QByteArray> &list)
{
    std::vector<std::string> out;
    for (const QByteArray &s : list)
        out.push_back(s.toStdString());
    return out;
}

struct PageCase
{
    const char *name;
    std::string page;
    bool fallback;
    std::vector<std::string> proxies; // accepted, "host|port"
    qsizetype count;                  // candidates reported
    int pattern;
};

void PrintTo(const PageCase &c, std::ostream *os)
{
    *os << c.name;
}

class ExtractPage : public ::testing::TestWithParam<PageCase>
{
};

TEST_P(ExtractPage, FindsTheExpectedProxies)
{
    const PageCase &c = GetParam();
    const TExtraction r = ExtractProxies(B(c.page), c.fallback);
    EXPECT_EQ(Flat(r.Proxies), c.proxies);
    EXPECT_EQ(r.Count, c.count);
    EXPECT_EQ(r.Pattern, c.pattern);
}

using namespace std::string_literals;

// Normal extraction: one "host:port" pattern over the whole page.
INSTANTIATE_TEST_SUITE_P(
    Normal, ExtractPage,
    ::testing::Values(
        PageCase{"plain", "1.2.3.4:8080", false, {"1.2.3.4|8080"}, 1, 1},
        PageCase{"host_name", "proxy.example.com:3128", false, {"proxy.example.com|3128"}, 1, 1},
        PageCase{"in_prose",
                 "Try 10.0.0.1:3128, or 10.0.0.2:80.",
                 false,
                 {"10.0.0.1|3128", "10.0.0.2|80"},
                 2,
                 1},
        PageCase{"space_before_colon", "1.2.3.4 :8080", false, {"1.2.3.4|8080"}, 1, 1},
        PageCase{"space_inside_name", "a.b.c d:80", false, {"a.b.cd|80"}, 1, 1},
        PageCase{"tab_kept", "1.2.3.4\t:8080", false, {"1.2.3.4\t|8080"}, 1, 1},
        PageCase{"at_sign", "user@mail.example.org:25", false, {"user@mail.example.org|25"}, 1, 1},
        PageCase{"port_20", "1.2.3.4:20", false, {}, 1, 1},
        PageCase{"port_21", "1.2.3.4:21", false, {"1.2.3.4|21"}, 1, 1},
        PageCase{"port_65555", "1.2.3.4:65555", false, {"1.2.3.4|65555"}, 1, 1},
        PageCase{"port_65556", "1.2.3.4:65556", false, {}, 1, 1},
        PageCase{"port_six_digits", "1.2.3.4:123456", false, {}, 1, 1},
        PageCase{"port_leading_zeros", "1.2.3.4:00080", false, {"1.2.3.4|00080"}, 1, 1},
        PageCase{"leading_hyphen", "-1.2.3.4:80", false, {}, 1, 1},
        PageCase{"leading_at", "@a.b.c:80", false, {}, 1, 1},
        PageCase{"leading_underscore", "_x.y.z:80", false, {}, 1, 1},
        PageCase{
            "twice", "1.2.3.4:80\r\n1.2.3.4:80\r\n", false, {"1.2.3.4|80", "1.2.3.4|80"}, 2, 1},
        PageCase{"greedy_name", "a.b.c.d.e:80", false, {"a.b.c.d.e|80"}, 1, 1},
        PageCase{"port_stops_at_letter", "1.2.3.4:8080abc", false, {"1.2.3.4|8080"}, 1, 1},
        PageCase{"second_colon", "1.2.3.4:8080:3128", false, {"1.2.3.4|8080"}, 1, 1},
        PageCase{"two_dots_needed", "1.2:80 host.com:80", false, {}, 0, 0},
        PageCase{
            "upper_case_ok", "PROXY.EXAMPLE.COM:8080", false, {"PROXY.EXAMPLE.COM|8080"}, 1, 1},
        // White space of the third name part may span lines; such a host
        // cannot be one line of a file, so it is no proxy (still a candidate).
        PageCase{"line_break_in_host", "Version 1.2.3\nPort:8080", false, {}, 1, 1},
        PageCase{"cr_in_host", "1.2.3.4\r:8080", false, {}, 1, 1},
        PageCase{"form_feed_kept", "1.2.3.4\f:8080", false, {"1.2.3.4\f|8080"}, 1, 1},
        PageCase{"stops_at_nul", "1.2.3.4:80\0 5.6.7.8:80"s, false, {"1.2.3.4|80"}, 1, 1},
        PageCase{"nul_first", "\0 5.6.7.8:80"s, true, {}, 0, 0},
        PageCase{"empty", "", true, {}, 0, 0},
        PageCase{"high_bytes_around",
                 "\xb4\xfa\xc0\xed"
                 "1.2.3.4:80\xa1\xa3",
                 false,
                 {"1.2.3.4|80"},
                 1,
                 1}));

// Special extraction: table layouts, only when the first pattern found nothing.
INSTANTIATE_TEST_SUITE_P(
    Special, ExtractPage,
    ::testing::Values(
        PageCase{"row_over_lines",
                 "<tr>\n<td>1.2.3.4</td>\n<td>8080</td>\n</tr>",
                 true,
                 {"1.2.3.4|8080"},
                 1,
                 2},
        PageCase{"row_over_lines_no_fallback",
                 "<tr>\n<td>1.2.3.4</td>\n<td>8080</td>\n</tr>",
                 false,
                 {},
                 0,
                 0},
        PageCase{"two_rows",
                 "<table><tr>\r\n <td>1.2.3.4</td>\r\n <td>8080</td></tr>\r\n"
                 "<tr>\r\n <td>5.6.7.8</td>\r\n <td>3128</td></tr></table>",
                 true,
                 {"1.2.3.4|8080", "5.6.7.8|3128"},
                 2,
                 2},
        // On one source line the host and port stay on one cleaned line
        // without a colon, which is no candidate.
        PageCase{"row_on_one_line", "<tr> <td>1.2.3.4</td> <td>8080</td></tr>", true, {}, 0, 2},
        PageCase{"upper_case_tags", "<TR>\n<TD>1.2.3.4</TD>\n<TD>8080</TD>\n</TR>", true, {}, 0, 0},
        PageCase{"pattern_3", "<td>1.2.3.4</td>\n<td>8080</td>", true, {"1.2.3.4|8080"}, 1, 3},
        PageCase{"pattern_4", "<td> 1.2.3.4 </td>\n<td> 8080\n</td>", true, {"1.2.3.4|8080"}, 1, 4},
        PageCase{
            "pattern_5", "<td><b>1.2.3.4</b></td>\n<td>8080</td>", true, {"1.2.3.4|8080"}, 1, 5},
        // Only the first table pattern that matches at all is used: the bold
        // row would match pattern 5, but pattern 3 matched first.
        PageCase{"first_pattern_wins",
                 "<td>9.9.9.9</td>\n<td>3128</td>\n<td><b>1.2.3.4</b></td>\n<td>8080</td>",
                 true,
                 {"9.9.9.9|3128"},
                 1,
                 3},
        // A pattern-1 hit anywhere suppresses the table patterns.
        PageCase{"normal_wins",
                 "<tr>\n<td>1.2.3.4</td>\n<td>8080</td>\n</tr> 5.6.7.8:80",
                 true,
                 {"5.6.7.8|80"},
                 1,
                 1},
        // Every candidate counts, also those that are rejected: the port text
        // "8080:3128" of the second is too long.
        PageCase{"rejected_candidates_count",
                 "<td>1.2.3.4</td>\n<td>8080<br>\n3128</td>\n</tr>",
                 true,
                 {"1.2.3.4|8080"},
                 2,
                 3}));

TEST(AddProxy, ValidatesEachCandidate)
{
    struct Case
    {
        const char *text;
        bool accepted;
        const char *host;
        const char *port;
    };
    const Case cases[] = {
        {"1.2.3.4:8080", true, "1.2.3.4", "8080"},
        {"a:21", true, "a", "21"},
        {"Z.y:65555", true, "Z.y", "65555"},
        {"1.2.3.4:00021", true, "1.2.3.4", "00021"},
        {"1.2.3.4:1.2.3.4:80", false, "", ""}, // port text after the first colon
        {"1.2.3.4:80:81", false, "", ""},
        {"1.2.3.4:20", false, "", ""},
        {"1.2.3.4:00020", false, "", ""},
        {"1.2.3.4:65556", false, "", ""},
        {"1.2.3.4:99999", false, "", ""},
        {"1.2.3.4:", false, "", ""},
        {"1.2.3.4: 80", false, "", ""},
        {"1.2.3.4:+80", false, "", ""},
        {"1.2.3.4:-80", false, "", ""},
        {"1.2.3.4:$50", false, "", ""},
        {"8080", false, "", ""}, // no host at all
        {":8080", false, "", ""},
        {".1.2.3:80", false, "", ""},
        {" 1.2.3.4:80", false, "", ""},
        {"1.2.3.4\n:80", false, "", ""},
    };
    for (const Case &c : cases) {
        TProxyList list;
        EXPECT_EQ(AddProxy(QByteArrayView(c.text), list), c.accepted) << c.text;
        ASSERT_EQ(list.size(), c.accepted ? 1u : 0u) << c.text;
        if (c.accepted) {
            EXPECT_EQ(list[0].Host, QByteArray(c.host)) << c.text;
            EXPECT_EQ(list[0].Port, QByteArray(c.port)) << c.text;
        }
    }
}

TEST(DeleteSpaces, RemovesOnlySpaces)
{
    EXPECT_EQ(DeleteSpaces(" 1.2. 3.4 :80 "), QByteArray("1.2.3.4:80"));
    EXPECT_EQ(DeleteSpaces("a\tb\r\nc\fd"), QByteArray("a\tb\r\nc\fd"));
    EXPECT_EQ(DeleteSpaces("   "), QByteArray());
}

TEST(SParse, PairsHostAndPortLines)
{
    struct Case
    {
        const char *name;
        std::string text;
        std::vector<std::string> candidates;
        qsizetype count;
    };
    const Case cases[] = {
        {"pair", "1.2.3.4\r\n8080\r\n", {"1.2.3.4:8080"}, 1},
        // The second port joins "1.2.3.4:8080": counted, never a proxy.
        {"second_port_joins_the_joined_entry", "1.2.3.4\r\n8080\r\n3128\r\n", {"1.2.3.4:8080"}, 2},
        {"short_second_port", "1.2.3.4\n80\n81", {"1.2.3.4:80"}, 2},
        {"port_after_dotted_entry_with_colon", "1.2.3.4:80\n8080", {"1.2.3.4:80"}, 2},
        {"two_hosts", "1.2.3.4\n80\n5.6.7.8\n3128", {"1.2.3.4:80", "5.6.7.8:3128"}, 2},
        {"digits_first", "8080\n1.2.3.4", {}, 0},
        {"shifted_positions", "abc\n1.2.3.4\n8080", {}, 0},
        {"lone_cr_breaks", "<td>1.2.3.4</td>\r<td>port 80 x</td>", {"1.2.3.4:80"}, 1},
        {"lf_cr_is_two_breaks", "1.2.3.4\n\r8080", {"1.2.3.4:8080"}, 1},
        {"blank_lines_dropped", "1.2.3.4\n\n \t \n<b></b>\n8080", {"1.2.3.4:8080"}, 1},
        {"trimmed", "\t 1.2.3.4 \x01\n 8 0 8 0 ", {"1.2.3.4:8080"}, 1},
        {"unclosed_tag_drops_rest", "1.2.3.4<b unclosed 9.9\n8080", {"1.2.3.4:8080"}, 1},
        {"tag_ends_at_first_gt", "<a<b>c>1.2.3.4\n8080", {"c>1.2.3.4:8080"}, 1},
        {"dotted_with_colon_kept", "<td>1.2.3.4:80</td>\n", {"1.2.3.4:80"}, 1},
        {"dotted_without_colon_dropped", "1.2.3.4 8080\n", {}, 0},
        {"ends_at_nul",
         "1.2.3.4\n\0"
         "8080"s,
         {},
         0},
        {"empty", "", {}, 0},
    };
    for (const Case &c : cases) {
        const TSParseResult r = SParse(B(c.text));
        EXPECT_EQ(Flat(r.Candidates), c.candidates) << c.name;
        EXPECT_EQ(r.Count, c.count) << c.name;
    }
}

TEST(SParse, LongRunOfPortLinesStaysLinear)
{
    // One host cell, then a cell of 200,000 number lines: every line after the
    // first is a candidate, none of them a proxy. Built out, the candidates
    // would take some 100 GB.
    QByteArray page("<td>1.2.3.4</td>\n<td>");
    for (int i = 0; i < 200000; ++i)
        page += "8080\n";
    page += "</td>";
    const TExtraction r = ExtractProxies(page, true);
    EXPECT_EQ(r.Pattern, 3);
    EXPECT_EQ(r.Count, 200000);
    EXPECT_EQ(Flat(r.Proxies), std::vector<std::string>{"1.2.3.4|8080"});
}

TEST(PageRegex, MatchesDoNotOverlapAndStopAtNul)
{
    const TPageRegex re("a+b");
    const QByteArray text("aab ab b aaab\0ab", 16);
    std::vector<std::string> found;
    for (QByteArrayView m : re.FindAll(text))
        found.push_back(m.toByteArray().toStdString());
    EXPECT_EQ(found, (std::vector<std::string>{"aab", "ab", "aaab"}));
    EXPECT_THROW(TPageRegex("(unclosed"), std::invalid_argument);
}

TEST(PageRegex, LazyAndGreedyAsBacktracking)
{
    // Dot spans line breaks; the lazy run stops at the first closing cell,
    // the greedy one at the last.
    const QByteArray text("<td>1\r\n</td>2</td>");
    const auto lazy = TPageRegex("<td>.*?</td>").FindAll(text);
    const auto greedy = TPageRegex("<td>.*</td>").FindAll(text);
    ASSERT_EQ(lazy.size(), 1u);
    ASSERT_EQ(greedy.size(), 1u);
    EXPECT_EQ(lazy[0], QByteArrayView("<td>1\r\n</td>"));
    EXPECT_EQ(greedy[0], QByteArrayView(text));
    // Leftmost-first alternation, not longest.
    const auto alt = TPageRegex("ab|abcd").FindAll(QByteArrayView("abcd"));
    ASSERT_EQ(alt.size(), 1u);
    EXPECT_EQ(alt[0], QByteArrayView("ab"));
}

TEST(Leech, SiteReport)
{
    struct Case
    {
        const char *name;
        std::string page;
        bool fallback;
        qint32 stateBefore;
        qsizetype count;
        std::size_t added;
        qint32 stateAfter;
        const char *status;
    };
    const Case cases[] = {
        {"found", "1.2.3.4:80 5.6.7.8:3128", true, ssFetched, 2, 2, ssFound, "Found 2 Proxies"},
        {"none", "no proxies here", true, ssFetched, 0, 0, ssFetched, "Found 0 Proxies"},
        {"all_rejected", "1.2.3.4:20 -5.6.7.8:80", true, ssFetched, 2, 0, ssFound,
         "Found 2 Proxies"},
        {"fallback_off", "<tr>\n<td>1.2.3.4</td>\n<td>8080</td>", false, ssFetched, 0, 0, ssFetched,
         "Found 0 Proxies"},
    };
    for (const Case &c : cases) {
        TProxyList proxies{TProxyItem{"9.9.9.9", "99"}};
        TSiteItem site{"http://a/", QStringLiteral("Extracting Proxies"), 0, c.stateBefore};
        QByteArray page = B(c.page);
        const TLeechReport r = LeechProxies(page, c.fallback, proxies, site);
        EXPECT_TRUE(page.isEmpty()) << c.name;
        EXPECT_EQ(r.Count, c.count) << c.name;
        EXPECT_EQ(r.First, 1u) << c.name;
        EXPECT_EQ(r.Added, c.added) << c.name;
        EXPECT_EQ(proxies.size(), 1 + c.added) << c.name;
        EXPECT_EQ(proxies[0].Host, QByteArray("9.9.9.9")) << c.name; // only appends
        EXPECT_EQ(site.State, c.stateAfter) << c.name;
        EXPECT_EQ(site.Status, QString::fromLatin1(c.status)) << c.name;
    }
}

TEST(Leech, GoogleReportTexts)
{
    TProxyList proxies{TProxyItem{"9.9.9.9", "99"}};
    QByteArray page("x 1.2.3.4:80 y");
    const TLeechReport r =
        LeechGoogleProxies(page, false, proxies, "https://lists.example/SOCKS4/today");
    EXPECT_TRUE(page.isEmpty());
    EXPECT_EQ(r.Count, 1);
    // The page's address names the type of what it lists; earlier entries keep theirs.
    ASSERT_EQ(proxies.size(), 2u);
    EXPECT_EQ(proxies[0].Type, net::ptHttp);
    EXPECT_EQ(proxies[1].Type, net::ptSocks4);
    EXPECT_EQ(FoundProxiesText(r.Count), QStringLiteral("Found 1 Proxies"));
    EXPECT_EQ(LeechingWithBotText(0), QStringLiteral("Leeching Proxies with Bot 1"));
    EXPECT_EQ(LeechingWithBotText(99), QStringLiteral("Leeching Proxies with Bot 100"));
}

} // namespace

TEST(Leech, ThePageAddressNamesTheProxyType)
{
    const struct
    {
        const char *Address;
        net::TProxyType Type;
    } Cases[] = {
        {"https://raw.example/list/master/socks5.txt", net::ptSocks5},
        {"https://api.example/v2/?request=getproxies&protocol=Socks4", net::ptSocks4},
        {"http://example.org/socks4-and-socks5-list/", net::ptSocks5}, // SOCKS5 speaks for both
        {"https://raw.example/list/master/http.txt", net::ptHttp},
        {"http://www.socks-proxy.example/", net::ptHttp}, // no version named
        {"http://socks.example/v4/5", net::ptHttp},
        {"", net::ptHttp},
    };
    for (const auto &C : Cases)
        EXPECT_EQ(ProxyTypeOfPage(C.Address), C.Type) << C.Address;
}

TEST(Leech, EmptiedPageBuffersKeepOnlyOrdinaryRoom)
{
    QByteArray page(20 * 1024, 'x');
    EmptyPageText(page);
    EXPECT_TRUE(page.isEmpty());
    EXPECT_GE(page.capacity(), 20 * 1024); // the next page of this size needs no allocation

    QByteArray huge(8 * 1024 * 1024, 'x');
    EmptyPageText(huge);
    EXPECT_TRUE(huge.isEmpty());
    EXPECT_LT(huge.capacity(), 1024 * 1024); // a rare giant is given back
}
