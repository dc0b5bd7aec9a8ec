// Comparing a secret with what a client sent.
#pragma once

#include <QByteArrayView>

namespace server {

// Compares in a time that depends on the lengths only, so that answers do
// not tell how much of a guess was right.
bool SameBytes(QByteArrayView a, QByteArrayView b);

} // namespace server
