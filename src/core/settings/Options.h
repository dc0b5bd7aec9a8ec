// The program-wide options that runs read at the moment they need a value.
//
// The desktop program implements this with the Options dialog's controls, so a
// change takes effect at once; tests and other front ends use TOptionValues.
#pragma once

#include <QString>

namespace settings {

class IOptions
{
public:
    virtual ~IOptions() = default;

    virtual bool UseProxy() const = 0;
    virtual QString Proxy() const = 0;
    virtual bool ProxyAuth() const = 0;
    virtual QString ProxyUsername() const = 0;
    virtual QString ProxyPassword() const = 0;
    virtual bool RetryTimeout() const = 0;
    virtual bool WriteFile() const = 0;
    virtual bool DeleteFile() const = 0;
    virtual bool Dupes() const = 0;
    virtual bool Autoload() const = 0;
    virtual bool Special() const = 0;
    virtual bool GooglerSpecial() const = 0;
};

// Plain option values, starting at the program's defaults.
struct TOptionValues final : IOptions
{
    bool useProxy = false;
    QString proxy;
    bool proxyAuth = false;
    QString proxyUsername;
    QString proxyPassword;
    bool retryTimeout = false;
    bool writeFile = true;
    bool deleteFile = true;
    bool dupes = true;
    bool autoload = true;
    bool special = true;
    bool googlerSpecial = false;

    bool UseProxy() const override { return useProxy; }
    QString Proxy() const override { return proxy; }
    bool ProxyAuth() const override { return proxyAuth; }
    QString ProxyUsername() const override { return proxyUsername; }
    QString ProxyPassword() const override { return proxyPassword; }
    bool RetryTimeout() const override { return retryTimeout; }
    bool WriteFile() const override { return writeFile; }
    bool DeleteFile() const override { return deleteFile; }
    bool Dupes() const override { return dupes; }
    bool Autoload() const override { return autoload; }
    bool Special() const override { return special; }
    bool GooglerSpecial() const override { return googlerSpecial; }
};

} // namespace settings
