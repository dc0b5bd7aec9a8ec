#include "harvester/SearchTerms.h"

#include <QtGlobal>

namespace harvester {

const std::array<QByteArrayView, SeedProxyCount> &SeedProxies()
{
    static const std::array<QByteArrayView, SeedProxyCount> seeds = {
        "61.172.249.94:80",    "202.98.23.116:80",   "210.51.14.197:80",   "218.75.100.114:8080",
        "200.65.127.161:3128", "148.233.239.23:80",  "66.98.180.71:3128",  "24.232.88.161:8080",
        "193.194.69.36:3128",  "80.58.29.174:80",    "62.193.246.10:8000", "165.228.128.10:3128",
        "203.162.6.202:8080",  "211.101.140.83:80",  "64.69.100.22:8000",  "195.175.37.70:8080",
        "212.241.180.239:80",  "200.171.127.9:3128", "81.18.116.76:8000",  "219.93.178.162:3128",
    };
    return seeds;
}

QByteArray ChooseTerm(const leecher::TProxyList &proxies, TRandom &random)
{
    if (proxies.empty()) {
        std::uniform_int_distribution<std::size_t> pick(0, SeedProxyCount - 1);
        return SeedProxies()[pick(random)].toByteArray();
    }
    std::uniform_int_distribution<std::size_t> pick(0, proxies.size() - 1);
    const std::size_t hostEntry = pick(random);
    const std::size_t portEntry = pick(random);
    const leecher::TCompactBytes &host = proxies[hostEntry].Host;
    const leecher::TCompactBytes &port = proxies[portEntry].Port;
    QByteArray term;
    term.reserve(host.size() + 1 + port.size());
    term.append(host.data(), host.size()).append(':').append(port.data(), port.size());
    return term;
}

void AppendForRequestLine(QByteArray &url, QByteArrayView text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F) {
            url.append('%').append(hex[u >> 4]).append(hex[u & 0xF]);
        } else {
            url.append(c);
        }
    }
}

QByteArray SearchUrl(TSearchForm form, QByteArrayView host, QByteArrayView term)
{
    QByteArray url =
        host.startsWith("https://") ? host.toByteArray() : "http://" + host.toByteArray();
    if (form == TSearchForm::First) {
        url += "/search?hl=en&lr=&ie=UTF-8&oe=utf-8&q=%22";
        AppendForRequestLine(url, term);
        url += "%22&btnG=Google+Search";
    } else {
        url += "/search?q=%22";
        AppendForRequestLine(url, term);
        url += "%3A80%22&btnG=Google+Search&hl=en&lr=&ie=UTF-8&oe=utf-8";
    }
    return url;
}

} // namespace harvester
