#pragma once

#include "platform/Tray.h"
#include "spool/Asker.h"
#include "spool/Timer.h"

#include <QObject>
#include <QTimer>

class QWidget;

/// The watch timer on a QTimer.
class QtTimer : public Timer
{
public:
    explicit QtTimer(QObject* parent = nullptr) : m_timer(parent) {}
    QTimer& timer() { return m_timer; }
    void setInterval(int ms) override { m_timer.setInterval(ms); }
    int interval() const override { return m_timer.interval(); }
    void setEnabled(bool on) override;
    bool isEnabled() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

/// Question boxes as real message boxes.
class QtAsker : public Asker
{
public:
    explicit QtAsker(QWidget* parent = nullptr) : m_parent(parent) {}
    Answer ask(const QString& prompt, Options options, const QString& title = QString()) override;
    void inform(const QString& text, const QString& title = QString()) override;

private:
    QWidget* m_parent;
};

/// The tray icon on a real QSystemTrayIcon.
class QtTrayService : public TrayService
{
    Q_OBJECT
public:
    explicit QtTrayService(QObject* parent = nullptr);
    ~QtTrayService() override;
    void show() override;
    void hide() override;
    bool isVisible() const override;
    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    void showMessage(const QString& title, const QString& text) override;
    bool isSystemTrayAvailable() const override;
    /// Where the icon is on the screen (empty when not shown).
    QRect geometry() const;

    /// How long a balloon message stays, where the desktop lets the program choose.
    static constexpr int kMessageMs = 15000;

private:
    QSystemTrayIcon* m_icon = nullptr;
};
