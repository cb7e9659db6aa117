#pragma once

#include <QIcon>
#include <QString>

#include <array>

/// The one tray icon record: which window owns the icon, what it shows and its tip.
struct NotifyIconData
{
    quint32 cbSize = 0;
    quintptr hWnd = 0; ///< the window that receives the icon's events
    quint32 uID = 0;
    quint32 uFlags = 0; ///< 7: message, icon and tip are valid
    quint32 uCallbackMessage = 0;
    QIcon hIcon;
    std::array<char, 64> szTip{}; ///< the tip, a NUL, blanks up to 64 (Windows-1252)

    /// The tip as text: the bytes before the NUL.
    QString tip() const;
    void setTip(const QString& text);
};

/// A mouse action over the tray icon.
enum class TrayAction
{
    Move,
    LeftDown,
    LeftUp,
    LeftDoubleClick,
    RightDown,
    RightUp
};

/// The notification-area icon service; every request names the icon by owner and id.
class TrayService
{
public:
    /// Mouse messages delivered for the icon.
    enum Message
    {
        MouseMove = 512,
        LeftDown = 513,
        LeftUp = 514,
        LeftDoubleClick = 515,
        RightDown = 516,
        RightUp = 517
    };
    virtual ~TrayService() = default;
    /// Refused when the icon exists.
    virtual bool add(const NotifyIconData& data) = 0;
    /// Refused when the icon does not exist.
    virtual bool modify(const NotifyIconData& data) = 0;
    virtual bool remove(const NotifyIconData& data) = 0;
    /// A balloon message beside the icon; nothing when the icon is not there.
    virtual void showMessage(const QString& title, const QString& text) = 0;
    /// True when the desktop has a notification area that shows the icon.
    virtual bool isAvailable() const = 0;
};
