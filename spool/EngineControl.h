#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;
struct Settings;

/// What the window asks of the engine, which runs on a thread of its own. Every call may come
/// from any thread and returns at once; a batch in progress takes it up after its file.
class EngineControl
{
public:
    virtual ~EngineControl() = default;
    /// Watching on: a batch in progress ends after its file and the next tick looks afresh;
    /// a stop asked for earlier is taken back.
    virtual void start() = 0;
    /// Watching off, after the file in hand.
    virtual void stopAfterFile() = 0;
    /// The engine takes a copy of @p settings; a batch in progress follows them from its next
    /// file. A stop asked for still holds.
    virtual void setSettings(const Settings& settings) = 0;
    /// Prints the test page with the settings in force, between two files of a batch.
    virtual void printTestPage() = 0;
};

/// Reads the settings file @p settings names (path) again. A reload never writes a
/// missing file: that is an error, as is a file that cannot be read; either way @p settings
/// stay as they were.
bool rereadSettings(Settings& settings, SettingsStore& store, QString* error, QStringList* notes);
