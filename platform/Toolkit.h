#pragma once

#include <QString>

/// The repeating timer that drives the watch cycle.
class Timer
{
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool on) = 0;
    virtual bool isEnabled() const = 0;
};

/// Modal question boxes. Answers are the classic codes: Yes 6, No 7.
class Asker
{
public:
    enum Answer
    {
        Yes = 6,
        No = 7
    };
    enum Flags
    {
        YesNo = 4,
        Information = 64,
        DefaultSecond = 256
    };
    virtual ~Asker() = default;
    /// An empty title shows the application's title.
    virtual int ask(const QString& prompt, int flags, const QString& title = QString()) = 0;
    /// Tells the user about a failure, with an OK button only.
    virtual void inform(const QString& text, const QString& title = QString())
    {
        Q_UNUSED(text);
        Q_UNUSED(title);
    }
};

/// What the watch cycle needs of the window: icons by name, the tray and the on-screen log.
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
    /// Called between two files of a batch, so a long batch does not freeze the desktop.
    virtual void betweenFiles() {}
};
