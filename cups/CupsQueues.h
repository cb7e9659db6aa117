#pragma once

#include <QList>
#include <QPageLayout>
#include <QString>

/// One CUPS destination as the printer list shows it.
struct CupsQueue
{
    QString name;
    /// The local device path of its device URI (see portOfDeviceUri).
    QString port;
};

/// The queues CUPS knows, read afresh on every call.
namespace CupsQueues {
/// The queues in CUPS's order; instances are left out.
QList<CupsQueue> list();
/// CUPS's default destination; empty when there is none.
QString defaultQueue();
/// The queue's default media with its printable area; A4 with Qt's margins when unknown.
QPageLayout defaultMedia(const QString& queue);
/// The local device path in a CUPS device URI: parallel:/dev/lp0 gives /dev/lp0,
/// serial:/dev/ttyS1?baud=9600 gives /dev/ttyS1, file:///x and file:/x give /x,
/// usb:/dev/usb/lp0 gives /dev/usb/lp0; any other URI (network, USB by identity) gives "".
QString portOfDeviceUri(const QString& uri);
} // namespace CupsQueues
