// Which judge a check run takes when the one chosen does not answer.
//
// A start asks the chosen judge directly (TOwnAddressProbe); when it gives
// no page a run can read, the other judges of the list are asked in their
// order and the first that does is the run's judge. The list the user sees
// keeps the choice.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace analyser {

// The status line when no judge answered and the run does not start.
inline constexpr const char *NoJudgeAnsweringText =
    "No judge answers with a judge page: the check does not start";

// The judges ProxyJudges.ini starts with when it does not exist: the built-in
// one, then public judges of the forms the analyser reads.
QStringList DefaultProxyJudges();

// The judges a start asks, in order: the chosen one, then (with the fallback
// on) the others of `list`, each once.
QList<QByteArray> JudgesToAsk(const QString &chosen, const QStringList &list, bool fallback);

// True for a page a check run reads a verdict from: one of the judge forms
// (JudgeFormats.h), or a page with the address field a judge writes.
bool IsJudgePage(QByteArrayView page);

// "Judge <chosen> not answering: using <used>".
QString JudgeReplacedText(const QByteArray &chosen, const QByteArray &used);

} // namespace analyser
