// The signed client address an analyser may put in its judge address, so
// that the judge knows whose address must not show (level 5) without taking
// anyone's word for it:
//
//   http://judge.example.net:8080/?client=203.0.113.7&sig=<32 hex digits>
//
// sig is the first 16 bytes of HMAC-SHA256 over the address text, keyed with
// a secret that the judge's operator and the analyser's user share, in lower
// case hex. Without the secret nobody can make the judge take an address as
// the client's. "vexo-judge --sign ADDRESS --secret-file FILE" prints the
// query part.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "server/SameBytes.h"

namespace judge {

// A secret shorter than this is refused: it could be guessed.
inline constexpr qsizetype MinSecretBytes = 16;

QByteArray SignClient(QByteArrayView secret, QByteArrayView address);
// "client=ADDRESS&sig=SIGNATURE".
QByteArray ClientQuery(QByteArrayView secret, QByteArrayView address);
bool VerifyClient(QByteArrayView secret, QByteArrayView address, QByteArrayView sig);
using server::SameBytes;

} // namespace judge
