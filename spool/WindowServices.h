#pragma once

#include <QString>

/// What the watch cycle needs of the window: icons by name, the tray and the on-screen log.
/// The cycle calls it on its own thread; whoever shows these on another thread passes them on.
class WindowServices
{
public:
    virtual ~WindowServices() = default;
    /// Loads the named icon and makes it the picture of the tray picture box.
    virtual bool setTrayPicture(const QString& iconName) = 0;
    /// Loads the named icon and makes it the window's icon.
    virtual bool setWindowIconByName(const QString& iconName) = 0;
    /// Mode 0 adds the tray icon, 1 modifies it, other modes only update the record.
    virtual void icone_bandeja(int mode, const QString& tip) = 0;
    /// Puts one line on top of the activity log.
    virtual void log(const QString& line) = 0;
    /// A line about a file that was not printed; where the log has levels, a warning.
    virtual void logFalha(const QString& line) = 0;
    /// Tells the user something that needs their attention, also while the window is hidden.
    virtual void aviso(const QString& title, const QString& text) = 0;
};
