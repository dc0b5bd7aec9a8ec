// Country and network-owner names, each held once for the whole program.
//
// A checked list of a million proxies names a few hundred countries and some
// thousands of owners: its records hold a pointer into this pool instead of
// a copy of the text. Names are never freed, so a pointer stays good for the
// life of the program and copying a record copies only the pointer.
#pragma once

#include <QByteArrayView>

namespace geo {

// The pool's NUL-terminated copy of `name`; "" (a static empty text) for an
// empty name. Thread-safe.
const char *PooledName(QByteArrayView name);

} // namespace geo
