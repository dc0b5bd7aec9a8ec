// The program-wide options that runs read at the moment they need a value.
//
// The desktop program implements this with the Options dialog's controls, so a
// change takes effect at once; tests and other front ends use TOptionValues.
#pragma once

#include <QString>

#include <optional>

namespace settings {

// The harvest's search engine, as the keys of section "Options" spell it.
// Checked only when a harvest starts (see harvester::MakeSearchEngine).
struct TSearchSettings
{
    QString Engine = QStringLiteral("classic"); // "SearchEngine": classic, searxng, custom
    QString Host;                               // "SearchHost": host, or the instance's address
    QString Url;                                // "SearchURL": custom, with {query} and {page}
    QString LinkPattern;                        // "SearchLinkPattern": custom, group 1 a link
    QString Interval = QStringLiteral("3");     // "SearchInterval": seconds between searches

    bool operator==(const TSearchSettings &) const = default;
};

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
    // The search engine as the dialog shows it now; none: the harvest reads
    // Options.ini's at its start.
    virtual std::optional<TSearchSettings> SearchSettings() const { return std::nullopt; }
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

// Forwards every read to another option store that can be swapped later (the
// Options dialog is created after the window whose runs read it).
class TOptionsForwarder final : public IOptions
{
public:
    explicit TOptionsForwarder(const IOptions *target) : FTarget(target) {}
    void SetTarget(const IOptions *target) { FTarget = target; }

    bool UseProxy() const override { return FTarget->UseProxy(); }
    QString Proxy() const override { return FTarget->Proxy(); }
    bool ProxyAuth() const override { return FTarget->ProxyAuth(); }
    QString ProxyUsername() const override { return FTarget->ProxyUsername(); }
    QString ProxyPassword() const override { return FTarget->ProxyPassword(); }
    bool RetryTimeout() const override { return FTarget->RetryTimeout(); }
    bool WriteFile() const override { return FTarget->WriteFile(); }
    bool DeleteFile() const override { return FTarget->DeleteFile(); }
    bool Dupes() const override { return FTarget->Dupes(); }
    bool Autoload() const override { return FTarget->Autoload(); }
    bool Special() const override { return FTarget->Special(); }
    bool GooglerSpecial() const override { return FTarget->GooglerSpecial(); }
    std::optional<TSearchSettings> SearchSettings() const override
    {
        return FTarget->SearchSettings();
    }

private:
    const IOptions *FTarget;
};

} // namespace settings
