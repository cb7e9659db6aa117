#pragma once

#include <QObject>

/// SIGTERM, SIGINT and SIGHUP as Qt signals on the event loop: seen between two ticks, or
/// between two files of a batch, never in the middle of a file.
class UnixSignals : public QObject
{
    Q_OBJECT
public:
    /// What SIGTERM and SIGINT must do at once, inside the signal handler: stop waiting for
    /// something that may never come, so that the file in hand ends soon. It must be
    /// async-signal-safe (set a flag, no more).
    using Urgent = void (*)() noexcept;

    explicit UnixSignals(QObject* parent = nullptr, Urgent onTerminate = nullptr);

signals:
    /// SIGTERM or SIGINT.
    void terminate();
    /// SIGHUP: the settings file changed.
    void reload();
};
