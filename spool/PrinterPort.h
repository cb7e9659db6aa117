#pragma once

#include <QString>

class PrinterDirectory;

/// The port of the installed printer of this name (compared without regard to case), without
/// its ":"; the last of several such printers wins. Empty when none has that name.
QString porta_da_impressora(PrinterDirectory& printers, const QString& printerName);
