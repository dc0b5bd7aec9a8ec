// The judge's anonymity level: the grading the analyser shares
// (analyser/JudgeLevel.h), under the judge's own names.
#pragma once

#include "analyser/JudgeLevel.h"

namespace judge {

using analyser::JudgeLevel;
using analyser::LevelMeaning;
using analyser::RealmOf;
using analyser::SameHeaderName;
using analyser::ShowsAddress;
using analyser::TAnonyLevel;
using analyser::TRealm;
using enum analyser::TAnonyLevel;

} // namespace judge
