#pragma once

#include "cups/CupsConnection.h"

#include <QList>
#include <QPageLayout>
#include <QString>

/// One CUPS destination as the printer list shows it.
struct CupsQueue
{
    QString name;
    /// The queue's sheet of the PWG medium @p chosen (its printable area as the queue gives it), or
    /// its default media when none is chosen. A medium the queue does not list is laid out with
    /// margins of 10 points. *used (if given) is the medium's name as the queue knows it.
    QPageLayout media(const QString& queue, const QByteArray& chosen,
                      int timeoutMs = CupsConnection::kDefaultTimeoutMs, PrintError* unreached = nullptr,
                      QByteArray* used = nullptr);
    /// A sheet of the PWG medium @p media with margins of 10 points; A4 for none or one unknown.
    QPageLayout sheetOf(const QByteArray& media);
    /// The local device path of its device URI (see portOfDeviceUri).
    QString port;
};

/// The queues CUPS knows, read afresh on every call. A scheduler that does not answer within
/// the time-out counts as one that cannot be reached.
namespace CupsQueues {
/// The queues in CUPS's order; instances are left out. None when CUPS cannot be reached, and
/// @p unreached (if given) tells why.
QList<CupsQueue> list(int timeoutMs = CupsConnection::kDefaultTimeoutMs, PrintError* unreached = nullptr);
/// CUPS's default destination; empty when there is none, or CUPS cannot be reached.
QString defaultQueue(int timeoutMs = CupsConnection::kDefaultTimeoutMs);
/// The queue's sheet of the PWG medium @p chosen (its printable area as the queue gives it), or
/// its default media when none is chosen. A medium the queue does not list is laid out with
/// margins of 10 points. *used (if given) is the medium's name as the queue knows it. When CUPS
/// could not be asked, @p unreached (if given) tells why, and a print should wait.
QPageLayout media(const QString& queue, const QByteArray& chosen,
                  int timeoutMs = CupsConnection::kDefaultTimeoutMs, PrintError* unreached = nullptr,
                  QByteArray* used = nullptr);
/// A sheet of the PWG medium @p media with margins of 10 points; A4 for none or one unknown.
QPageLayout sheetOf(const QByteArray& media);
/// The local device path in a CUPS device URI: parallel:/dev/lp0 gives /dev/lp0,
/// serial:/dev/ttyS1?baud=9600 gives /dev/ttyS1, file:///x and file:/x give /x,
/// usb:/dev/usb/lp0 gives /dev/usb/lp0; any other URI (network, USB by identity) gives "".
QString portOfDeviceUri(const QString& uri);
} // namespace CupsQueues
