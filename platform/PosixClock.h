#pragma once

#include "spool/Clock.h"

/// The system's clocks.
class PosixClock : public Clock
{
public:
    QDateTime now() override;
    qint64 monotonicMs() override;
};
