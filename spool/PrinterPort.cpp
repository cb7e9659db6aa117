#include "spool/PrinterPort.h"

#include "spool/Printing.h"

QString porta_da_impressora(PrinterDirectory& printers, const QString& printerName)
{
    const QString wanted = printerName.toLower();
    QString port;
    for (const PrinterInfo& printer : printers.printers(nullptr)) {
        if (printer.deviceName.toLower() == wanted)
            port = QString(printer.port).remove(u':');
    }
    return port;
}
