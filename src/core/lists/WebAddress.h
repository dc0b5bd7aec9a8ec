// Which site addresses may be handed to the desktop's browser.
//
// Site lists come from untrusted files, pages and the clipboard, so opening
// one must never start a program or open a local file: only http and https
// addresses with a host pass; a bare host ("example.com/list") gets "http://".
#pragma once

#include <QByteArray>
#include <QUrl>

#include <optional>

namespace leecher {

std::optional<QUrl> WebAddressForBrowser(const QByteArray &siteUrl);

} // namespace leecher
