// The settings a vexo-cli run reads: Options.ini of the data folder, as the
// desktop program reads it, and over it what the command line gives. The
// command line never writes Options.ini.
#pragma once

#include "CliCommand.h"

#include "analyser/CheckRun.h"
#include "history/CheckRecorder.h"
#include "leecher/SiteRun.h"
#include "settings/Options.h"

#include <functional>
#include <optional>

namespace cli {

struct TSiteRunSettings
{
    settings::TOptionValues Options;
    leecher::TRunInputValues Inputs;
    // The harvest's search engine: Options.ini's, with the command line's
    // over it.
    settings::TSearchSettings Search;
    // Options.ini's timeout was above the cap and no --timeout was given.
    bool TimeoutCapped = false;
};

// Sections "Main" and "Options", for leech, verify and harvest. Raises
// leecher::EFileError when Options.ini exists but cannot be read as text.
TSiteRunSettings ReadSiteRunSettings(const QString &folder, TSubcommand command,
                                     const TSettingOverrides &overrides);

// Section "ProxyChecker", for check and judge-page, and the judges of
// ProxyJudges.ini (the public ones when it does not exist) as the judge
// items. `ownAddress` gives the machine's own address when the command line
// names none (it may ask the name service, so it is only called then).
// Raises as above. `timeoutCapped` tells whether Options.ini's timeout was
// taken as the cap.
analyser::TCheckInputValues ReadCheckSettings(const QString &folder,
                                              const TSettingOverrides &overrides,
                                              const std::function<QString()> &ownAddress,
                                              bool *timeoutCapped = nullptr);
// Whether a start steps over a judge that does not answer: "JudgeFallback"
// of section "ProxyChecker" unless the command line says.
bool ReadJudgeFallback(const QString &folder, const TSettingOverrides &overrides);
// Where the location databases and the check history are, from section
// "ProxyChecker"; `record` (--history / --no-history) over "History".
history::TRecordingSettings ReadRecordingSettings(const QString &folder,
                                                  std::optional<bool> record);

} // namespace cli
