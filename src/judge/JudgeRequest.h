// The request as the judge reads it: the head (server/RequestHead.h, shared
// with the gateway) and the query parameters of its target.
#pragma once

#include "JudgeLimits.h"
#include "server/RequestHead.h"

#include <QByteArray>
#include <QByteArrayView>

namespace judge {

using server::ParseRequestHead;
using server::THeaderField;
using server::THeaderFields;
using server::THeadScanner;
using server::TRequestHead;

// The value of the query parameter Name of a request target, percent-decoded
// ("+" stays "+"); Found tells an empty value from a missing one.
QByteArray QueryValue(QByteArrayView target, QByteArrayView name, bool *found = nullptr);

} // namespace judge
