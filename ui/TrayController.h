#pragma once

#include "spool/WindowServices.h"

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

class QAction;
class QLabel;
class QMenu;
class QWidget;
class TrayService;

/**
 * The window's tray icon: the blinking eye, its tool tip, the menu and the notices. The eye is
 * the window's icon too, and the picture in the window's corner. It blinks while the watch runs:
 * open for three seconds, half-open, closed, open again; it holds still while a file is in hand
 * and stops when the watch stops.
 */
class TrayController : public QObject
{
    Q_OBJECT
public:
    TrayController(TrayService& tray, QWidget& window, QLabel& picture);

    /// Puts the icon in the notification area with its first tool tip, unless it is there.
    void show();
    void hide();
    bool isShown() const;
    void setActivity(WindowServices::Activity activity);
    bool isBlinking() const { return m_blink.isActive(); }
    /// The tool tip the open eye shows; the closing eye shows none.
    void setToolTip(const QString& text);
    /// A balloon beside the icon; the text holds several lines, each shown as the log shows it.
    void notice(const QString& title, const QString& text);
    QMenu* menu() const { return m_menu; }

    /// The tool tip holds at most this many characters, as the icon's tip always has.
    static constexpr qsizetype kToolTipLimit = 63;

signals:
    /// A left click on the icon, or "Configurar Velmorix" from its menu.
    void configureRequested();
    /// "Impressões..." from the menu: the list of print-outs that wait.
    void printOutsRequested();
    /// "Sair" from the menu.
    void exitRequested();
    /// "Imprimir página de teste" from the menu.
    void testPageRequested();

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    /// Shows the next picture of the eye.
    void blinkStep();
    void showEye(const char* name, bool withToolTip);
    /// What the tray icon shows: its picture and its tool tip.
    void icone_bandeja(const QIcon& icon, const QString& toolTip);

    TrayService& m_tray;
    QWidget& m_window;
    QLabel& m_picture;
    QMenu* m_menu;
    QTimer m_blink;
    QString m_toolTip;
    bool m_toolTipShown = true; ///< the eye shows the tool tip: it is open
    int m_openSteps = 0;        ///< steps in a row that showed the open eye
    bool m_halfOpenNext = false;
    bool m_inActivation = false; ///< the menu is up: clicks meanwhile do nothing
};
