#pragma once

#include <QString>

class FileServices;
class WindowServices;

/**
 * While the watch is stopped (the window is open, or was left without a confirmation) nothing
 * prints: the watched folders are looked at now and then, and files that start waiting there
 * are told in a notice, so that nobody takes the silence for printing.
 */
class StoppedWatch
{
public:
    StoppedWatch(FileServices& files, WindowServices& window);

    /// Counts the files the watched @p pattern matches; tells once when some start waiting.
    void look(const QString& pattern);
    /// The watch runs again: files that wait from now on are the cycle's to tell.
    void reset() { m_waiting = 0; }

    /// How often the folders are looked at while the watch is stopped.
    static constexpr int kLookMs = 5000;

private:
    FileServices& m_files;
    WindowServices& m_window;
    qsizetype m_waiting = 0; ///< files waiting at the last look
};
