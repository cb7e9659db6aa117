#include "platform/PosixClock.h"

#include <ctime>

QDateTime PosixClock::now()
{
    return QDateTime::currentDateTime();
}

qint64 PosixClock::monotonicMs()
{
    struct timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
