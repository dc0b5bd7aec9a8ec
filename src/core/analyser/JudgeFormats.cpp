#include "analyser/JudgeFormats.h"

#include "util/Limits.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <arpa/inet.h>

#include <algorithm>
#include <string>

namespace analyser {

namespace {

constexpr QByteArrayView HeaderPrefix("HTTP_");
constexpr QByteArrayView AddressName("REMOTE_ADDR");

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// An IPv4 or IPv6 address in text form: what a judge saw a request come from.
bool IsIPAddress(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 45)
        return false;
    const std::string s(text.data(), size_t(text.size()));
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, s.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, s.c_str(), buffer) == 1;
}

// The piece without the tags around it ("<pre>REMOTE_ADDR = 1.2.3.4</b>").
QByteArrayView WithoutOuterTags(QByteArrayView piece)
{
    piece = piece.trimmed();
    while (piece.startsWith('<') && piece.indexOf('>') > 0)
        piece = piece.sliced(piece.indexOf('>') + 1).trimmed();
    while (piece.endsWith('>') && piece.lastIndexOf('<') >= 0)
        piece = piece.first(piece.lastIndexOf('<')).trimmed();
    return piece;
}

// One "NAME = value" entry: a name without blanks or markup, blanks, "=".
bool ReadEntry(QByteArrayView piece, QByteArray &name, QByteArray &value)
{
    const qsizetype eq = piece.indexOf('=');
    if (eq < 2 || !IsBlank(piece[eq - 1]))
        return false;
    const QByteArrayView rawName = piece.first(eq).trimmed();
    for (char c : rawName) {
        if (static_cast<unsigned char>(c) <= 32 || c == '<' || c == '>' || c == '"')
            return false;
    }
    name = DecodeHtmlEntities(rawName);
    value = DecodeHtmlEntities(piece.sliced(eq + 1).trimmed());
    return true;
}

// Takes a REMOTE_ADDR or HTTP_<NAME> entry into the environment.
void TakeEntry(TJudgeEnvironment &env, const QByteArray &name, const QByteArray &value)
{
    if (name == AddressName) {
        if (env.RemoteAddr.isEmpty())
            env.RemoteAddr = value;
    } else if (name.startsWith(HeaderPrefix) && name.size() > HeaderPrefix.size()) {
        env.Headers.push_back({name.sliced(HeaderPrefix.size()), value});
    }
}

// Where the first "<br" (any case) of the line starts, -1 if none.
qsizetype FindBreak(QByteArrayView line)
{
    for (qsizetype at = line.indexOf('<'); at >= 0 && at + 2 < line.size();
         at = line.indexOf('<', at + 1)) {
        if ((line[at + 1] | 0x20) == 'b' && (line[at + 2] | 0x20) == 'r')
            return at;
    }
    return -1;
}

// Lines, and <br> within them, each an entry or not.
bool ReadAzEnvironment(QByteArrayView page, TJudgeEnvironment &env)
{
    QByteArray name, value;
    qsizetype from = 0;
    while (from < page.size()) {
        qsizetype end = page.indexOf('\n', from);
        if (end < 0)
            end = page.size();
        QByteArrayView line = page.sliced(from, end - from);
        from = end + 1;
        while (!line.isEmpty()) {
            const qsizetype br = FindBreak(line);
            const qsizetype close = br < 0 ? -1 : line.indexOf('>', br);
            const QByteArrayView piece = br < 0 || close < 0 ? line : line.first(br);
            if (ReadEntry(WithoutOuterTags(piece), name, value))
                TakeEntry(env, name, value);
            line = br < 0 || close < 0 ? QByteArrayView() : line.sliced(close + 1);
        }
    }
    return IsIPAddress(env.RemoteAddr);
}

QByteArray JsonText(const QJsonValue &value)
{
    return value.isString() ? value.toString().toUtf8() : QByteArray();
}

// The address list's entries, trimmed ("a, b" -> {"a", "b"}).
QByteArrayList AddressList(const QByteArray &text)
{
    QByteArrayList out;
    for (const QByteArray &part : text.split(','))
        out << part.trimmed();
    return out;
}

// A judge behind its own balancer (httpbin.org) shows, with show_env, what
// the balancer added: X-Forwarded-For ending in the address the balancer
// saw, X-Forwarded-Proto and X-Forwarded-Port. They tell nothing of the proxy
// and are left out; what a proxy forwarded before them stays.
void DropBalancerHeaders(TJudgeEnvironment &env)
{
    const auto find = [&](QByteArrayView header) {
        return std::find_if(env.Headers.begin(), env.Headers.end(),
                            [&](const THeaderField &h) { return SameHeaderName(h.Name, header); });
    };
    const auto forwarded = find("X-Forwarded-For");
    if (forwarded == env.Headers.end() || find("X-Forwarded-Port") == env.Headers.end())
        return;
    QByteArrayList entries = AddressList(forwarded->Value);
    if (entries.isEmpty() || entries.back() != env.RemoteAddr)
        return;
    entries.removeLast();
    if (entries.isEmpty())
        env.Headers.erase(forwarded);
    else
        forwarded->Value = entries.join(", ");
    for (QByteArrayView added : {"X-Forwarded-Proto", "X-Forwarded-Port"}) {
        if (const auto h = find(added); h != env.Headers.end())
            env.Headers.erase(h);
    }
}

bool ReadJson(QByteArrayView page, TJudgeEnvironment &env)
{
    if (page.size() > limits::MaxJudgePageBytes)
        return false;
    const QByteArrayView trimmed = page.trimmed();
    if (!trimmed.startsWith('{'))
        return false;
    const QJsonDocument doc = QJsonDocument::fromJson(trimmed.toByteArray());
    if (!doc.isObject())
        return false;
    const QJsonObject object = doc.object();
    const QJsonValue headers = object.value(QLatin1StringView("headers"));
    const QJsonValue origin = object.value(QLatin1StringView("origin"));
    if (headers.isObject() && origin.isString()) {
        // The balancer's address comes last; what came before it was
        // forwarded to it.
        const QByteArrayList origins = AddressList(JsonText(origin));
        env.RemoteAddr = origins.back();
        const QJsonObject fields = headers.toObject();
        for (auto it = fields.begin(); it != fields.end(); ++it)
            env.Headers.push_back({it.key().toUtf8(), JsonText(it.value())});
        DropBalancerHeaders(env);
    } else {
        for (auto it = object.begin(); it != object.end(); ++it)
            TakeEntry(env, it.key().toUtf8(), JsonText(it.value()));
    }
    return IsIPAddress(env.RemoteAddr);
}

void AppendCodePoint(QByteArray &out, uint code)
{
    if (code < 128)
        out += char(code);
    else
        out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1).toUtf8();
}

} // namespace

QByteArray DecodeHtmlEntities(QByteArrayView text)
{
    static constexpr struct
    {
        QByteArrayView Name;
        char Byte;
    } Named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype semi = text[i] == '&' ? text.indexOf(';', i) : -1;
        // Entities are short; a lone "&" is text.
        if (semi < 0 || semi - i > 10) {
            out += text[i];
            continue;
        }
        const QByteArrayView body = text.sliced(i + 1, semi - i - 1);
        bool decoded = false;
        if (body.startsWith('#')) {
            const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
            const uint code = body.sliced(hex ? 2 : 1).toUInt(&decoded, hex ? 16 : 10);
            decoded = decoded && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
            if (decoded)
                AppendCodePoint(out, code);
        } else {
            for (const auto &n : Named) {
                if (body == n.Name) {
                    out += n.Byte;
                    decoded = true;
                }
            }
        }
        if (!decoded) {
            out += text[i];
            continue;
        }
        i = semi;
    }
    return out;
}

TJudgeEnvironment ReadJudgeEnvironment(QByteArrayView page)
{
    TJudgeEnvironment env;
    if (page.contains(QByteArrayView("REMOTE_ADDR=")) &&
        page.contains(QByteArrayView("AnonyLevel"))) {
        env.Format = TJudgeFormat::Written;
        return env;
    }
    if (ReadAzEnvironment(page, env)) {
        env.Format = TJudgeFormat::AzEnvironment;
        return env;
    }
    env = {};
    if (ReadJson(page, env)) {
        env.Format = TJudgeFormat::Json;
        return env;
    }
    return {};
}

TAnonyLevel GradeEnvironment(const TJudgeEnvironment &environment, const QByteArrayList &clients)
{
    return JudgeLevel(environment.Headers, environment.RemoteAddr, clients);
}

} // namespace analyser
