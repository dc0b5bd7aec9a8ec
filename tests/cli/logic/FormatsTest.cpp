// Results as txt, csv and JSON Lines, read back; the lists a user hands the
// command line, and what it refuses to read.
#include "InputFiles.h"
#include "ResultFormats.h"
#include "ResultTimes.h"
#include "support/AnalyserPrinters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace cli;
using analyser::TAnalyserList;
using analyser::TProxyItem;

namespace {

TProxyItem Entry(const char *Host, const char *Port, const char *Status, qint32 State,
                 const char *Gateway, const char *Anonymous, const char *Level, const char *Speed)
{
    TProxyItem E;
    E.Host = Host;
    E.Port = Port;
    E.Status = Status;
    E.State = State;
    E.RemoteAddr = Gateway;
    E.Anonymous = Anonymous;
    E.Level = Level;
    E.Speed = Speed;
    return E;
}

// Every kind of result, with the texts a hostile list or judge may bring.
TAnalyserList Results()
{
    return {
        Entry("10.0.0.1", "8080", "200 - OK", analyser::psGood, "10.0.0.1", "Yes", "3", "112"),
        Entry("  10.0.0.2", "80", "Timeout", analyser::psTimeout, "", "", "", ""),
        Entry("a,b\"c", "3128", "404 - Not, \"Found\"", analyser::psBad, "x\r\ny", "No", "", ""),
        Entry("h\xc3\xa9te", "", "200 - OK", analyser::psUnknown, "Unknown", "Yes", "Unknown", "0"),
        Entry("10.0.0.5", "080", "", analyser::psNone, "", "", "", ""),
        Entry("tab\there", "1", "503 - Busy\\", analyser::psBad, "ctl\x01", "", "", ""),
    };
}

void ExpectSame(const TAnalyserList &A, const TAnalyserList &B)
{
    ASSERT_EQ(A.size(), B.size());
    for (size_t I = 0; I < A.size(); ++I) {
        SCOPED_TRACE(I);
        EXPECT_EQ(A[I].Host, B[I].Host);
        EXPECT_EQ(A[I].Port, B[I].Port);
        EXPECT_EQ(A[I].Status, B[I].Status);
        EXPECT_EQ(A[I].State, B[I].State);
        EXPECT_EQ(A[I].RemoteAddr, B[I].RemoteAddr);
        EXPECT_EQ(A[I].Anonymous, B[I].Anonymous);
        EXPECT_EQ(A[I].Level, B[I].Level);
        EXPECT_EQ(A[I].Speed, B[I].Speed);
        EXPECT_EQ(A[I].Type, B[I].Type);
        EXPECT_EQ(A[I].CheckedAt, B[I].CheckedAt);
        EXPECT_EQ(A[I].Country, B[I].Country);
        EXPECT_STREQ(A[I].CountryName, B[I].CountryName);
        EXPECT_EQ(A[I].Asn, B[I].Asn);
        EXPECT_STREQ(A[I].AsOrg, B[I].AsOrg);
        EXPECT_EQ(A[I].Checks, B[I].Checks);
        EXPECT_EQ(A[I].Goods, B[I].Goods);
        EXPECT_EQ(A[I].LastGood, B[I].LastGood);
    }
}

} // namespace

TEST(CliFormats, CheckResultsReadBackAsWritten)
{
    TAnalyserList List = Results();
    List[1].Type = net::ptSocks5;
    List[2].Type = net::ptSocks4;
    List[0].CheckedAt = 1796832005000; // 2026-12-09T16:00:05Z
    List[0].Country = analyser::TCountryCode("DE");
    List[0].CountryName = "Germany";
    List[0].Asn = 64500;
    List[0].AsOrg = "Loopback, \"Networks\"";
    List[0].Checks = 4;
    List[0].Goods = 3;
    List[0].LastGood = 1796832005000;
    for (const TFormat Format : {TFormat::Csv, TFormat::Json}) {
        SCOPED_TRACE(int(Format));
        const QByteArray Text = FormatCheckResults(List, Format, TLineEnd::Lf, false);
        TListForm Form = TListForm::ProxyLines;
        ExpectSame(ProxiesFromText(Text, QStringLiteral("r"), &Form), List);
        EXPECT_EQ(Form, Format == TFormat::Csv ? TListForm::Csv : TListForm::JsonLines);
        // CR LF line ends read the same (a field's own line ends are escaped).
        QByteArray Crlf = Text;
        Crlf.replace("\n", "\r\n");
        ExpectSame(ProxiesFromText(Crlf, QStringLiteral("r")), List);
    }
    // JSON Lines: one object per line in the documented fields, speed a number.
    const QByteArray Json = FormatCheckResults(List, TFormat::Json, TLineEnd::Lf, false);
    const QList<QByteArray> Lines = Json.trimmed().split('\n');
    ASSERT_EQ(Lines.size(), qsizetype(List.size()));
    const QJsonObject First = QJsonDocument::fromJson(Lines[0]).object();
    EXPECT_EQ(
        First.keys().join(u','),
        QStringLiteral("anonymous,as_org,asn,checked_at,checks,country,country_name,gateway,goods,"
                       "host,last_good,level,port,speed,state,status,type"));
    EXPECT_EQ(First.value(QStringLiteral("asn")).toInt(), 64500);
    EXPECT_EQ(First.value(QStringLiteral("goods")).toInt(), 3);
    EXPECT_TRUE(QJsonDocument::fromJson(Lines[1]).object().value(u"checks").isNull());
    EXPECT_TRUE(QJsonDocument::fromJson(Lines[1]).object().value(u"checked_at").isNull());
    EXPECT_EQ(First.value(QStringLiteral("speed")).toInt(), 112);
    EXPECT_EQ(First.value(QStringLiteral("state")).toString(), QStringLiteral("good"));
    EXPECT_TRUE(QJsonDocument::fromJson(Lines[1]).object().value(QStringLiteral("speed")).isNull());
    EXPECT_EQ(QJsonDocument::fromJson(Lines[3]).object().value(QStringLiteral("host")).toString(),
              QStringLiteral("h\u00e9te"));
    EXPECT_TRUE(Json.startsWith("{\"host\":\"10.0.0.1\",\"port\":\"8080\",\"status\""));

    // csv: a header, then one record per proxy.
    const QByteArray Csv = FormatCheckResults(List, TFormat::Csv, TLineEnd::Lf, false);
    EXPECT_TRUE(
        Csv.startsWith("host,port,status,state,gateway,anonymous,level,speed,type,checked_at,"
                       "country,country_name,asn,as_org,checks,goods,last_good\n"
                       "10.0.0.1,8080,200 - OK,good,10.0.0.1,Yes,3,112,http,2026-12-09T16:00:05Z,"
                       "DE,Germany,64500,\"Loopback, \"\"Networks\"\"\",4,3,2026-12-09T16:00:05Z\n"
                       "\"  10.0.0.2\",80,Timeout,timeout,,,,,socks5,,,,,,,,\n"));
    // Results written before types and times read as HTTP rows checked at an
    // unknown time; a time with an offset reads as the same moment.
    for (const QByteArray &Old : {QByteArray("host,port,status,state,gateway,anonymous,level,"
                                             "speed\n1.2.3.4,80,,good,,,,\n"),
                                  QByteArray("host,port,status,state,gateway,anonymous,level,"
                                             "speed,type\n1.2.3.4,80,,good,,,,,http\n")}) {
        const TAnalyserList L = ProxiesFromText(Old, QStringLiteral("old"));
        ASSERT_EQ(L.size(), 1u);
        EXPECT_EQ(L[0].Type, net::ptHttp);
        EXPECT_EQ(L[0].CheckedAt, 0);
    }
    const TAnalyserList Offset =
        ProxiesFromText("{\"host\":\"1.2.3.4\",\"state\":\"good\",\"checked_at\":"
                        "\"2026-12-09T17:00:05+01:00\"}\n",
                        QStringLiteral("offset"));
    ASSERT_EQ(Offset.size(), 1u);
    EXPECT_EQ(Offset[0].CheckedAt, 1796832005000);

    // txt: what the analyser's result files hold, read back as a proxy list.
    const QByteArray Txt = FormatCheckResults(List, TFormat::Txt, TLineEnd::CrLf, false);
    EXPECT_TRUE(Txt.startsWith("10.0.0.1:8080\r\nsocks5://  10.0.0.2:80\r\n"));
    EXPECT_EQ(DetectListForm(Txt), TListForm::ProxyLines);
    EXPECT_EQ(FormatCheckResults(List, TFormat::Txt, TLineEnd::Lf, true), "10.0.0.1:8080\n");
    EXPECT_EQ(FormatCheckResults(List, TFormat::Csv, TLineEnd::Lf, true).count('\n'), 2);
}

TEST(CliFormats, BrokenResultsNameTheirLine)
{
    const struct
    {
        QByteArray Text;
        const char *Message;
    } Cases[] = {
        {"host,port,status,state,gateway,anonymous,level,speed\n1.2.3.4,80,,good,,,,\n"
         "1.2.3.5,80,,splendid,,,,\n",
         "Line 3 is not a result of check"},
        {"host,port,status,state,gateway,anonymous,level,speed\n1.2.3.4,80,,good,,,\n",
         "Line 2 is not a result of check"},
        {"host,port,status,state,gateway,anonymous,level,speed\n1.2.3.4,80,,good,,,,12ms\n",
         "Line 2 is not a result of check"},
        {"host,port,status,state,gateway,anonymous,level,speed\n\"1.2.3.4,80,,good,,,,\n",
         "Line 2 opens a quote that is never closed"},
        {"host,port,status,state,gateway,anonymous,level,speed\n\"a\"b,80,,good,,,,\n",
         "Line 2 has text after a closing quote"},
        {"{\"host\":\"1.2.3.4\",\"port\":\"80\",\"state\":\"good\"}\n\n{\"host\":\"1.2.3.5\",",
         "Line 3 is not a result of check"},
        {"{\"host\":\"1.2.3.4\",\"port\":\"80\",\"state\":\"odd\"}\n",
         "Line 1 is not a result of check"},
        {"{\"host\":\"1.2.3.4\",\"port\":[80]}\n", "Line 1 is not a result of check"},
        // A time must be one, and say its zone: a local time means another
        // moment on every machine.
        {"{\"host\":\"1.2.3.4\",\"state\":\"good\",\"checked_at\":\"yesterday\"}\n",
         "Line 1 is not a result of check"},
        {"host,port,status,state,gateway,anonymous,level,speed,type,checked_at\n"
         "1.2.3.4,80,,good,,,,,http,2026-12-09T14:40:05\n",
         "Line 2 is not a result of check"},
    };
    for (const auto &Case : Cases) {
        try {
            ProxiesFromText(Case.Text, QStringLiteral("old.txt"));
            ADD_FAILURE() << "read: " << Case.Text.toStdString();
        } catch (const leecher::EFileError &E) {
            EXPECT_TRUE(E.Message().contains(QLatin1StringView(Case.Message)) &&
                        E.Message().contains(QStringLiteral("\"old.txt\"")))
                << E.Message().toStdString();
        }
    }
    // A JSON line with the fields of a smaller program: port as a number,
    // fields missing, the state left out.
    const TAnalyserList L = ProxiesFromText("{\"host\":\"1.2.3.4\",\"port\":8080}\n", {});
    ASSERT_EQ(L.size(), 1u);
    EXPECT_EQ(L[0].Port, "8080");
    EXPECT_EQ(L[0].State, analyser::psNone);
}

TEST(CliFormats, LeechedProxiesAndVerifiedSites)
{
    leecher::TProxyList P{{"1.2.3.4", "80"}, {"a\"b", "8080", net::ptSocks4}};
    EXPECT_EQ(FormatProxies(P, TFormat::Txt, TLineEnd::CrLf),
              "1.2.3.4:80\r\nsocks4://a\"b:8080\r\n");
    EXPECT_EQ(FormatProxies(P, TFormat::Csv, TLineEnd::Lf),
              "host,port,type\n1.2.3.4,80,http\n\"a\"\"b\",8080,socks4\n");
    EXPECT_EQ(FormatProxies(P, TFormat::Json, TLineEnd::Lf),
              "{\"host\":\"1.2.3.4\",\"port\":\"80\",\"type\":\"http\"}\n"
              "{\"host\":\"a\\\"b\",\"port\":\"8080\",\"type\":\"socks4\"}\n");
    // Each reads back as written, and so do results written before the type.
    for (const TFormat Format : {TFormat::Txt, TFormat::Csv, TFormat::Json}) {
        leecher::TProxyList Back;
        QString Error;
        ASSERT_TRUE(ParseProxyResults(FormatProxies(P, Format, TLineEnd::Lf), Back, &Error))
            << Error.toStdString();
        ASSERT_EQ(Back.size(), 2u);
        EXPECT_EQ(Back[1].Host, "a\"b");
        EXPECT_EQ(Back[1].Type, net::ptSocks4);
    }
    leecher::TProxyList Old;
    QString Error;
    ASSERT_TRUE(ParseProxyResults("host,port\n1.2.3.4,80\n", Old, &Error));
    ASSERT_EQ(Old.size(), 1u);
    EXPECT_EQ(Old[0].Type, net::ptHttp);
    leecher::TSiteList S{{"http://a/", QStringLiteral("200 - OK"), 0, leecher::ssFetched},
                         {"http://b/", QStringLiteral("Timeout"), 0, leecher::ssTimeout}};
    EXPECT_EQ(FormatSites(S, TFormat::Txt, TLineEnd::Lf),
              "http://a/\tgood\t200 - OK\nhttp://b/\ttimeout\tTimeout\n");
    EXPECT_EQ(FormatSites(S, TFormat::Csv, TLineEnd::Lf),
              "url,state,status\nhttp://a/,good,200 - OK\nhttp://b/,timeout,Timeout\n");
}

namespace {

class CliInputTest : public ::testing::Test
{
protected:
    QString Write(const char *Name, const QByteArray &Content)
    {
        QFile F(Dir.filePath(QLatin1StringView(Name)));
        EXPECT_TRUE(F.open(QIODevice::WriteOnly));
        F.write(Content);
        return F.fileName();
    }
    QString Refusal(const QString &Path)
    {
        try {
            ReadTextFile(Path);
        } catch (const leecher::EFileError &E) {
            return E.Message();
        }
        return {};
    }
    QTemporaryDir Dir;
};

} // namespace

TEST_F(CliInputTest, ListsAreTextFilesThatCanBeRead)
{
    const QString Sites = Write("sites.txt", "http://a/\r\n\r\n   \r\n  http://b/ \n\x1a");
    const leecher::TSiteList L = SitesFromText(ReadTextFile(Sites).Text);
    ASSERT_EQ(L.size(), 2u);
    EXPECT_EQ(L[1].URL, "  http://b/ "); // kept whole, as the window loads it
    EXPECT_EQ(L[1].State, leecher::ssIdle);

    // A proxy list as the analyser loads it.
    const TAnalyserList P = ProxiesFromText("  1.2.3.4:8080 (fast)\n\nnocolon80\n", {});
    ASSERT_EQ(P.size(), 2u);
    EXPECT_EQ(P[0].Host, "  1.2.3.4");
    EXPECT_EQ(P[0].Port, "8080");
    EXPECT_EQ(P[1].Host, "");
    EXPECT_EQ(P[1].Port, "80");

    const QString Missing = Dir.filePath(QStringLiteral("none.txt"));
    EXPECT_EQ(Refusal(Missing),
              QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(Missing));
    EXPECT_EQ(Refusal(Dir.path()),
              QStringLiteral("Cannot open file \"%1\". Is a directory").arg(Dir.path()));
    const QString Binary = Write("list.gz", QByteArray("\x1f\x8b\x08\0\0\0", 6));
    EXPECT_EQ(Refusal(Binary),
              QStringLiteral("Cannot use file \"%1\". It is not a text file (byte 0 is 0x1f).")
                  .arg(Binary));
    EXPECT_EQ(FirstNonTextByte("ok\ttext\r\n\f\x1b[0m \xe4\xb8\xad"), -1);
    // What a terminal would obey is shown escaped: C0 but tab, DEL, C1 in UTF-8.
    EXPECT_EQ(ShownText("a\x1b[2J\tb\xc2\x9b"
                        "c\x7f\xc2\xa0\\x"),
              "a\\x1b[2J\tb\\xc2\\x9bc\\x7f\xc2\xa0\\x");
    EXPECT_EQ(FirstNonTextByte(QByteArray("ab\0", 3)), 2);
    EXPECT_EQ(FirstNonTextByte("ab\x7f\x01"), 3);
}

TEST(CliFormats, ResultTimesAgreeWithTheCalendar)
{
    // Written by hand for speed: every day of four centuries (leap days,
    // 2000 and 2100) against Qt's calendar, and back.
    for (qint64 Day = 1; Day <= 146097; ++Day) {
        const qint64 Ms = Day * 86400000 + (Day * 7919 % 86400) * 1000 + 999;
        const QByteArray Text = cli::ResultTimeText(Ms);
        ASSERT_EQ(Text,
                  QDateTime::fromMSecsSinceEpoch(Ms, Qt::UTC).toString(Qt::ISODate).toLatin1())
            << Ms;
        qint64 Back = 0;
        ASSERT_TRUE(cli::ResultTimeFromText(Text, Back));
        ASSERT_EQ(Back, Ms - 999);
    }
    EXPECT_EQ(cli::ResultTimeText(0), QByteArray());
    qint64 Ms = 1;
    EXPECT_FALSE(cli::ResultTimeFromText("2026-12-09T14:20:05", Ms)); // no zone
    EXPECT_TRUE(cli::ResultTimeFromText("2026-12-09T15:20:05+01:00", Ms));
    EXPECT_EQ(cli::ResultTimeText(Ms), QByteArray("2026-12-09T14:20:05Z"));
}
