#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

/// The notification-area icon, shaped like QSystemTrayIcon: the window drives one of these, the
/// program a real one and the tests their own.
class TrayService : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~TrayService() override = default;

    /// Shown even without a notification area: the icon embeds itself once one appears.
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    virtual void setToolTip(const QString& text) = 0;
    /// A balloon message beside the icon; nothing while the icon is hidden.
    virtual void showMessage(const QString& title, const QString& text) = 0;
    /// True when the desktop has a notification area that shows the icon.
    virtual bool isSystemTrayAvailable() const = 0;

signals:
    /// The user clicked the icon; delivered once the icon's own mouse event is over.
    void activated(QSystemTrayIcon::ActivationReason reason);
};
