#pragma once

#include <QString>

/**
 * Why a print-out did not print, as the printing and file services tell it: a kind the log's
 * reason comes from, and the system's or the print server's own text. Built where the failure
 * is seen (an IPP status, an errno), never read back from the text.
 */
struct PrintError
{
    enum class Kind
    {
        None,
        QueueStopped,
        Rejected,
        NoSuchPrinter,
        NoDevice,
        Permission,
        ReadOnly,
        DiskFull,
        TimedOut,
        DeviceBusy,
        InputOutput,
        Disconnected,
        ServerDown,
        NoPort,
        Ending,
        Aborted,
        JobUnknown,
        Other ///< the text is the reason
    };

    PrintError() = default;
    PrintError(Kind kind, const QString& text) : kind(kind), text(text) {}
    /// Other, with @p text as the reason.
    static PrintError other(const QString& text) { return PrintError(Kind::Other, text); }
    /// The kind of a failed system call's errno, with its text.
    static PrintError fromErrno(int err, const QString& text);
    /// The kind of a text that ends in strerror's message ("path: reason"), as the file services
    /// give their errors; Other when it ends in none the reasons know.
    static PrintError fromSystemText(const QString& text);

    bool isNone() const { return kind == Kind::None; }
    /// The same error, saying that a device took @p sent of the print-out's @p size bytes.
    PrintError withProgress(qint64 sent, qint64 size) const;

    Kind kind = Kind::None;
    QString text;
    qint64 sent = -1; ///< bytes of a raw print-out the device took before it failed; -1: not told
    qint64 size = 0;
    /// The printer the print-out was for, when the failure is the printer's; empty otherwise.
    QString printer;
    /// What the print server says of that printer (its printer-state-message: "papel acabou").
    QString printerMessage;
};

/// The short Portuguese reason for an error ("fila parada", "permissão negada", ...): the error's
/// own text when its kind has none, empty for no error. A device that took part of a raw
/// print-out adds how much; a printer that does not exist is named.
QString motivo_falha(const PrintError& error);
