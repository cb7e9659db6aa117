#include "platform/CupsPrintingService.h"
#include "platform/PosixFileServices.h"
#include "platform/desktop/QtDesktop.h"
#include "settings/Settings.h"
#include "ui/FrmVelmorix.h"

#include <QApplication>

#include <csignal>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmorix2"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmorix2"));
    QApplication::setDesktopFileName(QStringLiteral("velmorix2"));
    // The window hides into the tray: only the exit question ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    PosixFileServices files;
    CupsPrintingService printing;
    QtAsker asker;
    QtTrayService tray;
    FrmServices services{files, printing, asker,
                         tray,  nullptr,  caminho_ini(QCoreApplication::applicationDirPath())};

    FrmVelmorix window(services);
    QObject::connect(&tray, &QtTrayService::message, &window,
                     [&window](int number) { window.PictIconeBandeja_MouseMove(0, 0, number * 15.0, 0); });
    QObject::connect(&window, &FrmVelmorix::encerrar, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    window.Form_Initialize();
    if (window.isHidden() && !window.testAttribute(Qt::WA_WState_ExplicitShowHide))
        window.mnu_IconeBandeja_Configurar_Click();
    return app.exec();
}
