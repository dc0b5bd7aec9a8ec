// The forms in which judges echo the request that reached them.
//
// A judge page is read in the first of these forms that it matches:
//   Written  "REMOTE_ADDR=" and "AnonyLevel" both on the page: the judge
//            states its own level, and JudgeAnalysis.h reads it as it is;
//   AzEnvironment
//            lines "NAME = value" (blanks around "="), inside or outside
//            <pre> or broken by <br>, HTML entities decoded: REMOTE_ADDR is
//            the address the judge saw, HTTP_<NAME> the request's headers;
//   Json     an object: either httpbin's ("origin" and a "headers" object)
//            or a flat one of REMOTE_ADDR and HTTP_<NAME> keys.
// The last two give no level: the analyser grades one from the headers they
// show, as vexo-judge grades its own (JudgeLevel.h). A page of none of the
// forms (a captive portal, an error page) is Unknown.
#pragma once

#include "analyser/JudgeLevel.h"

#include <QByteArray>
#include <QByteArrayView>

namespace analyser {

enum class TJudgeFormat { Unknown, Written, AzEnvironment, Json };

struct TJudgeEnvironment
{
    TJudgeFormat Format = TJudgeFormat::Unknown;
    // AzEnvironment and Json: the address the judge saw (an IPv4 or IPv6
    // address as text) and the request's header lines as the judge shows
    // them, the "HTTP_" of their names taken off.
    QByteArray RemoteAddr;
    THeaderFields Headers;
};

TJudgeEnvironment ReadJudgeEnvironment(QByteArrayView page);

// The level graded from an environment's headers, the judge's address being
// the peer; `clients` are the addresses that give the user away (the own
// address, the machine's).
TAnonyLevel GradeEnvironment(const TJudgeEnvironment &environment, const QByteArrayList &clients);

// "&amp;", "&lt;", "&#39;", "&#x41;" ... as the bytes they stand for (code
// points above 127 in UTF-8); anything else is kept as it is.
QByteArray DecodeHtmlEntities(QByteArrayView text);

} // namespace analyser
