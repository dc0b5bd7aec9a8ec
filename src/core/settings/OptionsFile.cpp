#include "OptionsFile.h"

#include "net/Wait.h"

#include <QLocale>

#include <algorithm>

namespace settings {

namespace {

// A timeout text is read as the wait timer reads it: leading blanks, then digits.
bool CapTimeout(QString &text)
{
    if (net::TWait::ReadCount(text) <= MaxTimeoutSeconds)
        return false;
    text = QString::number(MaxTimeoutSeconds);
    return true;
}

} // namespace

QString TimeoutCappedText()
{
    return QStringLiteral("Timeout above %1 seconds in %2: %1 used")
        .arg(MaxTimeoutSeconds)
        .arg(OptionsFileName);
}

TMainSection ReadMainSection(const TIniFile &ini)
{
    const TMainSection d;
    const QString &s = SectionMain;
    TMainSection m;
    m.bots = ini.ReadInteger(s, QStringLiteral("Bots"), d.bots);
    m.timeout = ini.ReadString(s, QStringLiteral("Timeout"), d.timeout);
    m.timeoutCapped = CapTimeout(m.timeout);
    m.hour = ini.ReadString(s, QStringLiteral("Hour"), d.hour);
    m.minute = ini.ReadString(s, QStringLiteral("Minute"), d.minute);
    m.second = ini.ReadString(s, QStringLiteral("Second"), d.second);
    m.automate = ini.ReadBool(s, QStringLiteral("Automate"), d.automate);
    return m;
}

void WriteMainSection(TIniFile &ini, const TMainSection &m)
{
    const QString &s = SectionMain;
    ini.WriteBool(s, QStringLiteral("Automate"), m.automate);
    ini.WriteInteger(s, QStringLiteral("Bots"), m.bots);
    ini.WriteString(s, QStringLiteral("Timeout"), m.timeout);
    ini.WriteString(s, QStringLiteral("Hour"), m.hour);
    ini.WriteString(s, QStringLiteral("Minute"), m.minute);
    ini.WriteString(s, QStringLiteral("Second"), m.second);
}

TProxyCheckerSection ReadProxyCheckerSection(const TIniFile &ini)
{
    const TProxyCheckerSection d;
    const QString &s = SectionProxyChecker;
    TProxyCheckerSection c;
    c.bots = ini.ReadInteger(s, QStringLiteral("Bots"), d.bots);
    c.retry503 = ini.ReadBool(s, QStringLiteral("Retry503"), d.retry503);
    c.detectType = ini.ReadBool(s, QStringLiteral("DetectType"), d.detectType);
    c.proxyJudge = ini.ReadString(s, QStringLiteral("ProxyJudge"), d.proxyJudge);
    c.timeout = ini.ReadString(s, QStringLiteral("Timeout"), d.timeout);
    c.judgeFallback = ini.ReadBool(s, QStringLiteral("JudgeFallback"), d.judgeFallback);
    c.timeoutCapped = CapTimeout(c.timeout);
    c.connectTimeoutMs = ConnectTimeoutMs(ini.ReadString(s, QStringLiteral("ConnectTimeout"), {}));
    c.geoDatabase = ini.ReadString(s, QStringLiteral("GeoDatabase"), {}).trimmed();
    c.asnDatabase = ini.ReadString(s, QStringLiteral("AsnDatabase"), {}).trimmed();
    c.history = ini.ReadBool(s, QStringLiteral("History"), d.history);
    c.historyDays = ini.ReadInteger(s, QStringLiteral("HistoryDays"), d.historyDays);
    if (c.historyDays < 1 || c.historyDays > 3650)
        c.historyDays = d.historyDays;
    return c;
}

int ConnectTimeoutMs(const QString &seconds)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(seconds.trimmed(), &ok);
    if (!ok || !(value > 0 && value <= 3600))
        return 0;
    return std::max(1, int(value * 1000 + 0.5));
}

void WriteProxyCheckerSection(TIniFile &ini, const TProxyCheckerSection &c)
{
    const QString &s = SectionProxyChecker;
    ini.WriteInteger(s, QStringLiteral("Bots"), c.bots);
    ini.WriteBool(s, QStringLiteral("Retry503"), c.retry503);
    ini.WriteString(s, QStringLiteral("ProxyJudge"), c.proxyJudge);
    ini.WriteString(s, QStringLiteral("Timeout"), c.timeout);
    ini.WriteBool(s, QStringLiteral("JudgeFallback"), c.judgeFallback);
    ini.WriteBool(s, QStringLiteral("DetectType"), c.detectType);
}

TOptionValues ReadOptionsSection(const TIniFile &ini)
{
    const TOptionValues d; // defaults
    const QString &s = SectionOptions;
    TOptionValues o;
    o.useProxy = ini.ReadBool(s, QStringLiteral("UseProxy"), d.useProxy);
    o.proxy = ini.ReadString(s, QStringLiteral("Proxy"), d.proxy);
    o.proxyAuth = ini.ReadBool(s, QStringLiteral("ProxyAuth"), d.proxyAuth);
    o.proxyUsername = ini.ReadString(s, QStringLiteral("ProxyUsername"), d.proxyUsername);
    o.proxyPassword = ini.ReadString(s, QStringLiteral("ProxyPassword"), d.proxyPassword);
    o.retryTimeout = ini.ReadBool(s, QStringLiteral("RetryTimeout"), d.retryTimeout);
    o.writeFile = ini.ReadBool(s, QStringLiteral("WriteFile"), d.writeFile);
    o.deleteFile = ini.ReadBool(s, QStringLiteral("DeleteFile"), d.deleteFile);
    o.dupes = ini.ReadBool(s, QStringLiteral("Dupes"), d.dupes);
    o.autoload = ini.ReadBool(s, QStringLiteral("Autoload"), d.autoload);
    o.special = ini.ReadBool(s, QStringLiteral("Special"), d.special);
    o.googlerSpecial = ini.ReadBool(s, QStringLiteral("GooglerSpecial"), d.googlerSpecial);
    return o;
}

void WriteOptionsSection(TIniFile &ini, const IOptions &o)
{
    const QString &s = SectionOptions;
    ini.WriteBool(s, QStringLiteral("UseProxy"), o.UseProxy());
    ini.WriteString(s, QStringLiteral("Proxy"), o.Proxy());
    ini.WriteBool(s, QStringLiteral("ProxyAuth"), o.ProxyAuth());
    ini.WriteString(s, QStringLiteral("ProxyUsername"), o.ProxyUsername());
    ini.WriteString(s, QStringLiteral("ProxyPassword"), o.ProxyPassword());
    ini.WriteBool(s, QStringLiteral("RetryTimeout"), o.RetryTimeout());
    ini.WriteBool(s, QStringLiteral("WriteFile"), o.WriteFile());
    ini.WriteBool(s, QStringLiteral("DeleteFile"), o.DeleteFile());
    ini.WriteBool(s, QStringLiteral("Dupes"), o.Dupes());
    ini.WriteBool(s, QStringLiteral("Autoload"), o.Autoload());
    ini.WriteBool(s, QStringLiteral("Special"), o.Special());
    ini.WriteBool(s, QStringLiteral("GooglerSpecial"), o.GooglerSpecial());
}

QByteArray ReadSearchHost(const TIniFile &ini)
{
    return NormalSearchHost(
        ini.ReadString(SectionOptions, QStringLiteral("SearchHost"), QString()));
}

TSearchSettings ReadSearchSettings(const TIniFile &ini)
{
    const QString &s = SectionOptions;
    const TSearchSettings d;
    TSearchSettings o;
    o.Engine = ini.ReadString(s, QStringLiteral("SearchEngine"), d.Engine);
    o.Host = ini.ReadString(s, QStringLiteral("SearchHost"), d.Host);
    o.Url = ini.ReadString(s, QStringLiteral("SearchURL"), d.Url);
    o.LinkPattern = ini.ReadString(s, QStringLiteral("SearchLinkPattern"), d.LinkPattern);
    o.Interval = ini.ReadString(s, QStringLiteral("SearchInterval"), d.Interval);
    return o;
}

void WriteSearchSettings(TIniFile &ini, const TSearchSettings &o)
{
    const QString &s = SectionOptions;
    ini.WriteString(s, QStringLiteral("SearchEngine"), o.Engine);
    ini.WriteString(s, QStringLiteral("SearchHost"), o.Host);
    ini.WriteString(s, QStringLiteral("SearchURL"), o.Url);
    ini.WriteString(s, QStringLiteral("SearchLinkPattern"), o.LinkPattern);
    ini.WriteString(s, QStringLiteral("SearchInterval"), o.Interval);
}

QByteArray NormalSearchHost(QString host)
{
    host = host.trimmed();
    // The request address is "http://" + host + path: a user who writes the
    // whole address still gets what was meant. A search engine that speaks
    // TLS only is named with its scheme, which stays.
    const QString scheme = QStringLiteral("http://");
    const QString secure = QStringLiteral("https://");
    const bool tls = host.startsWith(secure, Qt::CaseInsensitive);
    if (tls)
        host.remove(0, secure.size());
    else if (host.startsWith(scheme, Qt::CaseInsensitive))
        host.remove(0, scheme.size());
    while (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    host = host.trimmed();
    if (host.isEmpty())
        return DefaultSearchHost;
    return tls ? "https://" + host.toUtf8() : host.toUtf8();
}

bool ReadVerifyCertificates(const TIniFile &ini)
{
    return ini.ReadBool(SectionOptions, QStringLiteral("VerifyCertificates"), true);
}

} // namespace settings
