#pragma once

#include "spool/Clock.h"

/// A clock the test moves by hand; now() is the real time unless fixed.
class ManualClock : public Clock
{
public:
    QDateTime now() override { return fixedNow.isValid() ? fixedNow : QDateTime::currentDateTime(); }
    qint64 monotonicMs() override { return clockMs; }

    QDateTime fixedNow;
    qint64 clockMs = 1000000;
};
