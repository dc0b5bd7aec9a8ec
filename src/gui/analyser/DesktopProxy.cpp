#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "DesktopProxy.h"

#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

namespace gui {

namespace {

struct TUnref
{
    void operator()(GSettingsSchema *s) const { g_settings_schema_unref(s); }
    void operator()(GSettings *s) const { g_object_unref(s); }
    void operator()(GSettingsBackend *b) const { g_object_unref(b); }
    void operator()(gchar *text) const { g_free(text); }
};
template <class T>
using TOwned = std::unique_ptr<T, TUnref>;

[[noreturn]] void Fail(const QString &message)
{
    throw EDesktopProxyError(message.toStdString());
}

// The schema `id`, checked to hold `keys`; raises when it is not installed.
TOwned<GSettingsSchema> Schema(const QByteArray &id, std::initializer_list<const char *> keys)
{
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    if (!source)
        Fail(QStringLiteral("The desktop proxy cannot be used: GSettings has no settings "
                            "schemas installed on this system."));
    TOwned<GSettingsSchema> schema(g_settings_schema_source_lookup(source, id.constData(), TRUE));
    bool complete = schema != nullptr;
    for (const char *key : keys)
        complete = complete && g_settings_schema_has_key(schema.get(), key);
    if (!complete)
        Fail(QStringLiteral("The desktop proxy cannot be used: the GSettings schema \"") +
             QString::fromUtf8(id) +
             QStringLiteral("\" is not installed (on Debian it comes with "
                            "gsettings-desktop-schemas)."));
    return schema;
}

// The settings objects of the proxy (the base and the protocols' children
// that the kind sets), after checking that every schema they need is
// installed (creating settings for a missing schema would abort the program).
struct TProxySettings
{
    TOwned<GSettings> base;
    std::vector<TOwned<GSettings>> children;

    TProxySettings(const char *id, TDesktopProxyKind kind)
    {
        const QByteArray baseId(id);
        const TOwned<GSettingsSchema> a = Schema(baseId, {"mode"});
        const std::vector<QByteArray> childIds =
            kind == TDesktopProxyKind::Socks
                ? std::vector<QByteArray>{baseId + ".socks"}
                : std::vector<QByteArray>{baseId + ".http", baseId + ".https"};
        for (const QByteArray &childId : childIds)
            Schema(childId, {"host", "port"});
        base.reset(g_settings_new(baseId.constData()));
        for (const QByteArray &childId : childIds)
            children.emplace_back(g_settings_new(childId.constData()));
    }
};

std::optional<int> PortNumber(const QByteArray &port)
{
    if (port.isEmpty() || port.size() > 5)
        return std::nullopt;
    int value = 0;
    for (char c : port) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 65535)
        return std::nullopt;
    return value;
}

// Without a settings store of the desktop (dconf), GSettings keeps values in
// this process's memory only: a proxy "set" there would reach nothing.
void RequireLastingStore()
{
    const TOwned<GSettingsBackend> backend(g_settings_backend_get_default());
    const bool memoryOnly =
        backend && qstrcmp(G_OBJECT_TYPE_NAME(backend.get()), "GMemorySettingsBackend") == 0;
    if (memoryOnly && qgetenv("GSETTINGS_BACKEND") != "memory")
        Fail(QStringLiteral("The desktop proxy cannot be set: no desktop settings store "
                            "(dconf) is available, so the setting would not be kept."));
}

} // namespace

void SetDesktopProxy(const QByteArray &host, const QByteArray &port, TDesktopProxyKind kind,
                     const char *schema)
{
    const std::optional<int> portNumber = PortNumber(port);
    if (!portNumber)
        Fail(QStringLiteral("The port \"") + QString::fromUtf8(port) +
             QStringLiteral("\" is not a number from 0 to 65535, so it cannot be the "
                            "desktop's proxy port."));
    TProxySettings settings(schema, kind);
    RequireLastingStore();
    std::vector<std::pair<GSettings *, const char *>> keys = {{settings.base.get(), "mode"}};
    for (const auto &child : settings.children) {
        keys.emplace_back(child.get(), "host");
        keys.emplace_back(child.get(), "port");
    }
    for (const auto &[object, key] : keys) {
        if (!g_settings_is_writable(object, key))
            Fail(QStringLiteral("The desktop proxy cannot be set: the setting \"") +
                 QLatin1String(key) + QStringLiteral("\" is locked."));
    }
    const QByteArray hostText = host; // NUL-terminated
    bool written = true;
    for (const auto &child : settings.children) {
        written = written && g_settings_set_string(child.get(), "host", hostText.constData()) &&
                  g_settings_set_int(child.get(), "port", *portNumber);
    }
    written = written && g_settings_set_string(settings.base.get(), "mode", "manual");
    g_settings_sync(); // hand the change to the store before reading it back
    if (!written)
        Fail(QStringLiteral("The desktop proxy could not be set: GSettings refused the change."));
    // A store that cannot be reached (dconf without its session service)
    // accepts the change and drops it later: only reading back tells.
    const TOwned<gchar> mode(g_settings_get_string(settings.base.get(), "mode"));
    bool kept = qstrcmp(mode.get(), "manual") == 0;
    for (const auto &child : settings.children) {
        const TOwned<gchar> childHost(g_settings_get_string(child.get(), "host"));
        kept = kept && hostText == childHost.get() &&
               g_settings_get_int(child.get(), "port") == *portNumber;
    }
    if (!kept)
        Fail(QStringLiteral("The desktop did not keep the proxy setting: its settings store could "
                            "not be written (it still holds \"") +
             QueryDesktopProxy(kind, schema) + QStringLiteral("\")."));
}

QString QueryDesktopProxy(TDesktopProxyKind kind, const char *schema)
{
    TProxySettings settings(schema, kind);
    GSettings *first = settings.children.front().get();
    const TOwned<gchar> host(g_settings_get_string(first, "host"));
    const int port = g_settings_get_int(first, "port");
    return QString::fromUtf8(host.get()) + QLatin1Char(':') + QString::number(port);
}

} // namespace gui
