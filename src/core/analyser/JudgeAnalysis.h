// Reading a proxy judge's page: a judge echoes the environment of the request
// that reached it ("REMOTE_ADDR=" and the address it came from, the request's
// header lines ...) and states an anonymity level after "AnonyLevel".
//
// Every search is an exact, case-sensitive byte search for the first
// occurrence. The functions are pure; JudgeAnswer applies all three to an
// entry and the run's totals, as a check run does for a 200 answer.
#pragma once

#include "analyser/CheckRunState.h"
#include "analyser/ProxyItem.h"

#include <QByteArray>
#include <QByteArrayView>

namespace analyser {

// A value read from the page, and whether its marker was there at all (a
// missing marker turns the entry psUnknown).
struct TJudgeField
{
    QByteArray Text;
    bool Found = false;
    bool operator==(const TJudgeField &) const = default;
};

// True (anonymous) when the own address does not occur anywhere in the page.
// An empty own address is never found. A longer text that contains the own
// address counts as showing it (10.0.0.15 shows 10.0.0.1).
bool CheckAnon(QByteArrayView page, QByteArrayView ownAddress);

// The one character after the first ">" within the 80 bytes that start at
// "AnonyLevel"; empty when that ">" is the last of those bytes; "A" (the
// marker's first letter) when they hold no ">". "Unknown", not found, when
// the page has no "AnonyLevel".
TJudgeField GetLevel(QByteArrayView page);

// The 15 bytes after "REMOTE_ADDR=" (fewer where the page ends sooner) with
// every byte of code 32 or less removed from both ends. "Unknown", not found,
// when the page has no "REMOTE_ADDR=".
TJudgeField Gateway(QByteArrayView page);

// The verdict on a 200 answer: Anonymous, State and one of GoodCount and
// BadCount from CheckAnon; Level (only when anonymous) and RemoteAddr; a
// missing marker then turns the entry psUnknown, after the totals were set.
// Status and Speed are the run's.
void JudgeAnswer(QByteArrayView page, QByteArrayView ownAddress, TProxyItem &entry,
                 TCheckRunState &totals);

} // namespace analyser
