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

QString impressoraAusente(PrinterDirectory& printers, const QString& printerName, bool toPort)
{
    // PDF copies only need no queue.
    if (toPort || printerName.isEmpty() || isPdfOnly(printerName))
        return QString();
    PrintError unlisted;
    const QList<PrinterInfo> installed = printers.printers(&unlisted);
    if (!unlisted.isNone())
        return QString();
    for (const PrinterInfo& printer : installed) {
        if (printer.deviceName.compare(printerName, Qt::CaseInsensitive) == 0)
            return QString();
    }
    return QStringLiteral("Impressora %1 não existe: os arquivos aguardam até que ela seja instalada")
        .arg(printerName);
}
