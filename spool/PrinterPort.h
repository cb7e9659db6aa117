#pragma once

#include <QString>

class PrinterDirectory;

/// The port of the installed printer of this name (compared without regard to case), without
/// its ":"; the last of several such printers wins. Empty when none has that name.
QString porta_da_impressora(PrinterDirectory& printers, const QString& printerName);

/// The log line for settings whose printer is not installed, told when they are read so that
/// nobody waits for print-outs that cannot come; empty when the printer is there, when the
/// print-outs go to a port, or when the printers could not be listed.
QString impressoraAusente(PrinterDirectory& printers, const QString& printerName, bool toPort);
