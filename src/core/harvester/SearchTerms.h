// What the harvest searches for: a proxy address between quotes, drawn from
// the proxies found so far (or from a built-in set while there are none), in
// one of the two request addresses the search engine is asked with.
#pragma once

#include "lists/Records.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <random>

namespace harvester {

// Built-in search terms for a proxy list that is still empty: dotted IPv4
// addresses with the usual proxy ports.
inline constexpr std::size_t SeedProxyCount = 20;
const std::array<QByteArrayView, SeedProxyCount> &SeedProxies();

using TRandom = std::mt19937_64;

// A term for the next search. With proxies in the list: the host of one entry
// and the port of another, each drawn on its own from the whole list. With
// none: one of the seed proxies, each with equal chance.
QByteArray ChooseTerm(const leecher::TProxyList &proxies, TRandom &random);

enum class TSearchForm {
    First,     // the first search of a bot, and a new search after a search
    AfterPage, // a new search after a leeched page: the phrase gets ":80" added
};

// "http://" + host + the form's path and query (a host given as "https://"
// + host keeps that scheme), with the term between encoded
// double quotes. The term goes in as it stands; only bytes that cannot stand
// in a request line (controls, space, DEL, 8-bit) are percent-encoded, so a
// host text that kept a line break from its page can never add lines to the
// request.
QByteArray SearchUrl(TSearchForm form, QByteArrayView host, QByteArrayView term);

// Appends `text`, with the bytes that cannot stand in a request line
// (controls, space, DEL, 8-bit) percent-encoded and the rest as they stand.
void AppendForRequestLine(QByteArray &url, QByteArrayView text);

} // namespace harvester
