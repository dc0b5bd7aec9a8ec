// Reading a proxy judge's page: a judge echoes the environment of the request
// that reached it ("REMOTE_ADDR=" and the address it came from, the request's
// header lines ...) and states an anonymity level after "AnonyLevel".
//
// Every search is an exact, case-sensitive byte search for the first
// occurrence. The functions are pure; JudgeAnswer applies all three to an
// entry and the run's totals, as a check run does for a 200 answer. Judges
// of the other common forms (JudgeFormats.h) are read by JudgeAnswer and
// JudgedAddress too.
#pragma once

#include "analyser/CheckRunState.h"
#include "analyser/ProxyItem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace analyser {

// A value read from the page, and whether its marker was there at all (a
// missing marker turns the entry psUnknown).
struct TJudgeField
{
    QByteArray Text;
    bool Found = false;
    bool operator==(const TJudgeField &) const = default;
};

// True (anonymous) when the page shows neither the own address nor any of
// the machine's addresses (MachineAddresses in OwnAddress.h).
// The own address is found anywhere, also inside a longer text that contains
// it (10.0.0.15 shows 10.0.0.1); an empty one is never found. A machine
// address counts only as a whole address (10.0.0.15 does not show 10.0.0.1):
// the machine may have many, and a proxy's or judge's own address that merely
// begins with one of them must not make a proxy look transparent.
bool CheckAnon(QByteArrayView page, QByteArrayView ownAddress,
               const QList<QByteArray> &machineAddresses = {});

// The one character after the first ">" within the 80 bytes that start at
// "AnonyLevel"; empty when that ">" is the last of those bytes; "A" (the
// marker's first letter) when they hold no ">". "Unknown", not found, when
// the page has no "AnonyLevel".
TJudgeField GetLevel(QByteArrayView page);

// The 15 bytes after "REMOTE_ADDR=" (fewer where the page ends sooner) with
// every byte of code 32 or less removed from both ends. "Unknown", not found,
// when the page has no "REMOTE_ADDR=".
TJudgeField Gateway(QByteArrayView page);

// The address a judge reports for a request that reached it directly, as the
// own address: within Gateway's 15 bytes, after leading blanks, the digits
// and dots up to the first other byte, which must form a dotted IPv4 address
// (four numbers of 0 to 255, not 0.0.0.0) that the 15 bytes do not cut
// short. Empty otherwise. (A judge that puts the next line right after a
// short address, or blanks before a long one, would otherwise yield an
// "own address" that no page ever holds, and every proxy would pass as
// anonymous.) A page without "REMOTE_ADDR=" gives the address a judge of
// another form (JudgeFormats.h) saw, when it is a dotted IPv4 one.
QByteArray JudgedAddress(QByteArrayView page);

// The verdict on a 200 answer: Anonymous, State and one of GoodCount and
// BadCount from CheckAnon; Level (only when anonymous) and RemoteAddr; a
// missing marker then turns the entry psUnknown, after the totals were set.
// A page of an AZ Environment or JSON judge gives the address the judge saw
// and, when anonymous, the level graded from its headers (JudgeLevel.h), the
// own and machine addresses being the client's. Status and Speed are the
// run's.
void JudgeAnswer(QByteArrayView page, QByteArrayView ownAddress, TProxyItem &entry,
                 TCheckRunState &totals, const QList<QByteArray> &machineAddresses = {});

} // namespace analyser
