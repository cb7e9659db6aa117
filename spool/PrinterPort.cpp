#include "spool/PrinterPort.h"

#include "spool/PrintingService.h"

QString porta_da_impressora(PrintingService& printing, const QString& printerName)
{
    const QString wanted = printerName.toLower();
    QString port;
    for (const PrinterInfo& printer : printing.printers()) {
        if (printer.deviceName.toLower() == wanted)
            port = QString(printer.port).remove(u':');
    }
    return port;
}
