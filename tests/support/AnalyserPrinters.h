// Readable test failures for the analyser's records and judge readings.
#pragma once

#include "analyser/JudgeAnalysis.h"
#include "lists/CompactBytes.h"

#include <gtest/gtest.h>

#include <QString>

#include <ostream>

inline void PrintTo(const QString &Text, std::ostream *Os)
{
    *Os << ::testing::PrintToString(Text.toStdString());
}

namespace leecher {
inline void PrintTo(const TCompactBytes &Bytes, std::ostream *Os)
{
    *Os << ::testing::PrintToString(Bytes.toStdString());
}
} // namespace leecher

namespace analyser {
inline void PrintTo(const TJudgeField &Field, std::ostream *Os)
{
    *Os << ::testing::PrintToString(Field.Text.toStdString())
        << (Field.Found ? " (found)" : " (no marker)");
}
} // namespace analyser
