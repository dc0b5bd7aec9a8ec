// Reading and writing section "Options" of Options.ini: twelve keys, their
// defaults and the order in which they are written, and the search host that
// the harvest reads from the same section.
#pragma once

#include "IniFile.h"
#include "Options.h"

namespace settings {

inline const QString OptionsFileName = QStringLiteral("Options.ini");
inline const QString SectionMain = QStringLiteral("Main");
inline const QString SectionOptions = QStringLiteral("Options");
inline const QString SectionProxyChecker = QStringLiteral("ProxyChecker");

// The built-in proxy judge: a page that echoes the request environment.
inline const QString DefaultProxyJudge = QStringLiteral("http://azenv.net/");

// The web search the harvest asks when Options.ini names none.
inline const QByteArray DefaultSearchHost = QByteArrayLiteral("www.google.com");

// The longest timeout a run waits, in seconds, as the command line allows it.
// A larger one read from the file is taken as this (timeoutCapped says so):
// a run stopped by the user waits out its requests for that long.
inline constexpr int MaxTimeoutSeconds = 3600;
// The status line's note of that: "Timeout above 3600 seconds in Options.ini:
// 3600 used".
QString TimeoutCappedText();

// Section "Main": the main window's own values.
struct TMainSection
{
    int bots = 15;
    QString timeout = QStringLiteral("8");
    bool timeoutCapped = false;
    QString hour = QStringLiteral("0");
    QString minute = QStringLiteral("30");
    QString second = QStringLiteral("0");
    bool automate = true;
};

// Section "ProxyChecker": the analyser window's values.
struct TProxyCheckerSection
{
    int bots = 50;
    bool retry503 = false;
    bool detectType = false;
    QString proxyJudge = DefaultProxyJudge;
    QString timeout = QStringLiteral("8");
    // A start whose judge does not answer takes the next of the judge list.
    bool judgeFallback = true;
    bool timeoutCapped = false;
    // "ConnectTimeout": seconds a proxy has to take the connection, read only
    // (no control writes it); empty or unusable: none (0 ms).
    int connectTimeoutMs = 0;
    // Read only as well: the location databases ("GeoDatabase",
    // "AsnDatabase"; empty: searched for), whether checks are recorded in
    // the check history ("History") and for how many days ("HistoryDays",
    // 1 to 3650).
    QString geoDatabase;
    QString asnDatabase;
    bool history = true;
    int historyDays = 90;
};

// Seconds as text ("3", "0.5"; above 0, at most 3600) in milliseconds; 0
// for anything else.
int ConnectTimeoutMs(const QString &seconds);

TMainSection ReadMainSection(const TIniFile &ini);
// Writes Automate, Bots, Timeout, Hour, Minute, Second; throws EIniWriteError.
void WriteMainSection(TIniFile &ini, const TMainSection &main);

TProxyCheckerSection ReadProxyCheckerSection(const TIniFile &ini);
// Writes Bots, Retry503, ProxyJudge, Timeout, JudgeFallback, DetectType;
// throws EIniWriteError.
void WriteProxyCheckerSection(TIniFile &ini, const TProxyCheckerSection &checker);

// Reads the twelve keys; a missing file, key or bad value gives the default.
TOptionValues ReadOptionsSection(const TIniFile &ini);
// Writes the twelve keys in their fixed order; throws EIniWriteError.
// Other keys of the section (such as "SearchHost") are left as they are.
void WriteOptionsSection(TIniFile &ini, const IOptions &options);

// "SearchHost" of section "Options": the search engine's host, or host:port,
// that the harvest asks. Not one of the dialog's keys: it is only read. A
// leading "http://" and trailing slashes are dropped; a leading "https://"
// stays (in lower case), for a search over TLS; a missing or blank value
// gives DefaultSearchHost.
QByteArray ReadSearchHost(const TIniFile &ini);
// The search engine's keys of section "Options"; missing ones keep the
// defaults of TSearchSettings. Written by the Options dialog after its
// twelve (throws EIniWriteError).
TSearchSettings ReadSearchSettings(const TIniFile &ini);
void WriteSearchSettings(TIniFile &ini, const TSearchSettings &search);

// The same reading of a search host given elsewhere (a command line).
QByteArray NormalSearchHost(QString host);

// "VerifyCertificates" of section "Options": whether a TLS peer must show a
// certificate that the trust store vouches for and that names its host. Not
// one of the dialog's keys either: the runs read it at their start. A
// missing or unreadable value is true.
bool ReadVerifyCertificates(const TIniFile &ini);

} // namespace settings
