#pragma once

#include <QDateTime>

/// The time of day and a clock for measuring pauses.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() = 0;
    /// Milliseconds on a clock that never goes back.
    virtual qint64 monotonicMs() = 0;
};
