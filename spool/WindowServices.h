#pragma once

#include <QString>

/// What the watch cycle tells whoever shows it (the window and its tray icon, or the console):
/// what it is doing, the tray icon's tool tip, the log lines and the notices. The cycle calls it
/// on its own thread; whoever shows these on another thread passes them on.
class WindowServices
{
public:
    /// What the cycle is doing: the tray icon blinks while it watches, holds still while a file
    /// is in hand, and stops when the watch stops.
    enum class Activity
    {
        Stopped,
        Watching,
        Busy
    };

    virtual ~WindowServices() = default;
    virtual void setActivity(Activity activity) = 0;
    /// The tray icon's tool tip: the program is active, and how many files wait to be printed.
    virtual void setToolTip(const QString& text) = 0;
    /// Puts one line on top of the activity log.
    virtual void log(const QString& line) = 0;
    /// A line about a file that was not printed; where the log has levels, a warning.
    virtual void logFalha(const QString& line) = 0;
    /// Tells the user something that needs their attention, also while the window is hidden.
    virtual void aviso(const QString& title, const QString& text) = 0;
};
