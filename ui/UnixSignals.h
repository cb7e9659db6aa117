#pragma once

#include <QObject>

/// SIGTERM, SIGINT and SIGHUP as Qt signals on the event loop: seen between two ticks, or
/// between two files of a batch, never in the middle of a file.
class UnixSignals : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignals(QObject* parent = nullptr);

signals:
    /// SIGTERM or SIGINT.
    void terminate();
    /// SIGHUP: the settings file changed.
    void reload();
};
