// The runs over https sites: a leech run over a mixed list finds what it
// finds over plain HTTP, and "VerifyCertificates" of Options.ini, read at
// every start, decides whether a site (or an https judge) with a broken
// certificate is taken; a search engine that speaks TLS only is harvested.
#include "analyser/CheckRun.h"
#include "leecher/SiteRun.h"
#include "settings/IniFile.h"
#include "settings/OptionsFile.h"
#include "support/AnalyserPrinters.h"
#include "support/EventLoop.h"
#include "support/OriginServer.h"
#include "support/SearchEngine.h"
#include "support/TestCertificates.h"
#include "support/Tinyproxy.h"
#include "support/TlsFront.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace leecher;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::TestCertificates;
using testsupport::TlsFront;

namespace {

struct LeechRun
{
    LeechRun() : Run(Sites, Proxies, Options, Inputs, Dir.path())
    {
        Inputs.bots = 5;
        Options.dupes = false;
        Run.SetWaitInterval(50);
        QObject::connect(&Run, &TSiteRun::finished, &Run, [this] { ++Finished; });
    }
    // Runs once over the URLs; false when the run did not end.
    bool leech(const QList<QByteArray> &Urls)
    {
        Sites.clear();
        for (const QByteArray &U : Urls)
            Sites.push_back(TSiteItem{U, {}, 0, ssIdle});
        Finished = 0;
        return Run.StartLeech() && testsupport::waitUntil([&] { return Finished > 0; }, 15000);
    }
    QStringList proxyTexts() const
    {
        QStringList Out;
        for (const TProxyItem &P : Proxies)
            Out << QString::fromLatin1(P.Host.toByteArray() + ':' + P.Port.toByteArray());
        Out.sort();
        return Out;
    }
    void setVerify(const char *Value)
    {
        settings::TIniFile Ini(QDir(Dir.path()).filePath(settings::OptionsFileName));
        Ini.WriteString(settings::SectionOptions, QStringLiteral("VerifyCertificates"),
                        QString::fromLatin1(Value));
    }

    QTemporaryDir Dir;
    TSiteList Sites;
    TProxyList Proxies;
    settings::TOptionValues Options;
    TRunInputValues Inputs;
    TSiteRun Run;
    int Finished = 0;
};

} // namespace

TEST(TlsRun, MixedListFindsWhatThePlainListFinds)
{
    const TestCertificates &Certs = TestCertificates::shared();
    ASSERT_TRUE(Certs.ok()) << Certs.error().toStdString();
    OriginServer Server;
    TlsFront Front(Server.port(), Certs.good());
    QList<QByteArray> Plain, Mixed;
    for (int I = 0; I < 12; ++I) {
        const QByteArray N = QByteArray::number(I);
        const QByteArray Path = "/list/" + N + ".html";
        Server.route(Path, Script::response(200, "OK", {"Content-Type: text/html"},
                                            "<p>10.1." + N + ".1:8080<br>10.2." + N +
                                                ".2:3128<br>10.3." + N + ".3:80</p>"));
        // Today's sites: some answer over TLS only, some send plain HTTP
        // to their https address.
        Server.route("/moved/" + N,
                     Script::response(301, "Moved Permanently", {"Location: " + Front.url(Path)}));
        Plain << Server.url(Path);
        Mixed << (I % 3 == 0   ? Server.url(Path)
                  : I % 3 == 1 ? Front.url(Path)
                               : Server.url("/moved/" + N));
    }
    LeechRun A, B;
    ASSERT_TRUE(A.leech(Plain));
    ASSERT_TRUE(B.leech(Mixed));
    EXPECT_EQ(A.proxyTexts().size(), 36);
    EXPECT_EQ(B.proxyTexts(), A.proxyTexts());
    for (const TSiteItem &S : B.Sites) {
        EXPECT_EQ(S.State, ssFound) << S.URL.constData();
        EXPECT_EQ(S.Status, QStringLiteral("Found 3 Proxies"));
    }
    EXPECT_EQ(Front.handshakes(), 8);
}

TEST(TlsRun, VerifyCertificatesIsReadAtEveryStart)
{
    const TestCertificates &Certs = TestCertificates::shared();
    ASSERT_TRUE(Certs.ok()) << Certs.error().toStdString();
    OriginServer Server;
    Server.route("/p", Script::response(200, "OK", {}, "10.9.9.9:8080"));
    TlsFront Front(Server.port(), Certs.selfSigned());
    LeechRun R;

    // Without the key: verified.
    ASSERT_TRUE(R.leech({Front.url("/p")}));
    EXPECT_EQ(R.Sites[0].State, ssBad);
    EXPECT_EQ(R.Sites[0].Status,
              QStringLiteral("404 - TLS: certificate verify failed (self-signed certificate)"));

    // Switched off in the file: the next run takes the certificate.
    R.setVerify("0");
    ASSERT_TRUE(R.leech({Front.url("/p")}));
    EXPECT_EQ(R.Sites[0].State, ssFound);
    EXPECT_EQ(R.proxyTexts(), QStringList{QStringLiteral("10.9.9.9:8080")});

    // The Options dialog writes its own keys and leaves this one alone.
    {
        settings::TIniFile Ini(QDir(R.Dir.path()).filePath(settings::OptionsFileName));
        settings::WriteOptionsSection(Ini, settings::TOptionValues());
        EXPECT_FALSE(settings::ReadVerifyCertificates(Ini));
    }
    // The verification run reads it as well.
    R.Finished = 0;
    ASSERT_TRUE(R.Run.StartVerify());
    ASSERT_TRUE(testsupport::waitUntil([&] { return R.Finished > 0; }, 15000));
    EXPECT_FALSE(R.Sites[0].Status.contains(QStringLiteral("TLS")))
        << R.Sites[0].Status.toStdString();

    // Back on (any number but 0 is true), without restarting anything.
    R.setVerify("1");
    ASSERT_TRUE(R.leech({Front.url("/p")}));
    EXPECT_EQ(R.Sites[0].State, ssBad);
}

TEST(TlsRun, HarvestSearchesAndLeechesOverTls)
{
    using testsupport::SearchEngine;
    const TestCertificates &Certs = TestCertificates::shared();
    ASSERT_TRUE(Certs.ok()) << Certs.error().toStdString();
    SearchEngine Engine;
    const quint16 EnginePort = Engine.host().mid(Engine.host().indexOf(':') + 1).toUShort();
    TlsFront Front(EnginePort, Certs.good());
    Engine.route("/a", Script::response(200, "OK", {}, "<td>1.2.3.4:8080</td>"));
    Engine.setAnswer([&](const SearchEngine::Query &) {
        return SearchEngine::resultsPage(Engine.queries().size() == 1
                                             ? QList<QByteArray>{Front.url("/a")}
                                             : QList<QByteArray>{});
    });
    LeechRun R;
    R.Inputs.bots = 1;
    settings::TIniFile Ini(QDir(R.Dir.path()).filePath(settings::OptionsFileName));
    Ini.WriteString(settings::SectionOptions, QStringLiteral("SearchHost"),
                    QString::fromLatin1(Front.url("/")));
    Ini.WriteString(settings::SectionOptions, QStringLiteral("SearchInterval"),
                    QStringLiteral("0"));
    ASSERT_TRUE(R.Run.StartGoogle());
    ASSERT_TRUE(testsupport::waitUntil([&] { return Engine.queries().size() >= 2; }, 15000));
    R.Run.Abort();
    ASSERT_TRUE(testsupport::waitUntil([&] { return R.Finished > 0; }, 15000));

    EXPECT_EQ(Engine.queries()[0].form, 1);
    EXPECT_EQ(Engine.pages(), QList<QByteArray>{"/a"});
    EXPECT_EQ(R.proxyTexts(), QStringList{QStringLiteral("1.2.3.4:8080")});
    // The engine is reached through the TLS front only: each search and the
    // page had a handshake of its own.
    EXPECT_GE(Front.handshakes(), Engine.queries().size() + 1);
}

TEST(TlsRun, CheckRunWithAnHttpsJudgeThroughTinyproxy)
{
    using namespace analyser;
    ASSERT_FALSE(testsupport::Tinyproxy::program().isEmpty())
        << "tinyproxy is not installed: scripts/setup installs it, this suite needs it";
    const TestCertificates &Certs = TestCertificates::shared();
    ASSERT_TRUE(Certs.ok()) << Certs.error().toStdString();
    OriginServer Judge;
    Judge.setDefault(
        Script::response(200, "OK", {}, "REMOTE_ADDR=127.0.0.1      \nAnonyLevel=<b>2</b>\n"));
    TlsFront Front(Judge.port(), Certs.selfSigned());
    testsupport::Tinyproxy Proxy("127.0.0.1", {"ConnectPort " + QByteArray::number(Front.port())});
    ASSERT_TRUE(Proxy.started()) << Proxy.error().toStdString();

    for (bool Verify : {true, false}) {
        SCOPED_TRACE(Verify);
        TAnalyserList List{analyser::TProxyItem{"127.0.0.1", QByteArray::number(Proxy.port())}};
        TCheckRunState State;
        TCheckInputValues Inputs;
        Inputs.judgeURL = QString::fromLatin1(Front.url("/judge.cgi"));
        Inputs.verifyCertificates = Verify;
        TCheckRun Run(List, State, Inputs);
        ASSERT_TRUE(Run.Start());
        ASSERT_TRUE(testsupport::waitUntil([&] { return !Run.IsRunning(); }, 15000));
        if (Verify) {
            EXPECT_EQ(List[0].Status,
                      "404 - TLS: certificate verify failed (self-signed certificate)");
            EXPECT_EQ(List[0].State, psBad);
        } else {
            EXPECT_EQ(List[0].Status, "200 - OK");
            EXPECT_EQ(List[0].State, psGood);
        }
    }
}
