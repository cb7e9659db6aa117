#include "cups/CupsQueues.h"

#include <QMarginsF>
#include <QPageSize>
#include <QSizeF>
#include <QUrl>

#include <cups/cups.h>

namespace {

/// The destinations of the scheduler, through a connection with a time-out: cupsGetNamedDest()
/// would look for a missing or silent queue again on CUPS's default connection, which has none.
int destinations(CupsConnection& server, cups_dest_t** dests)
{
    *dests = nullptr;
    http_t* http = server.request();
    const int count = http ? cupsGetDests2(http, dests) : 0;
    if (server.gaveUp()) {
        cupsFreeDests(count, *dests);
        *dests = nullptr;
        return 0;
    }
    return count;
}

} // namespace

QList<CupsQueue> CupsQueues::list(int timeoutMs, PrintError* unreached)
{
    QList<CupsQueue> queues;
    CupsConnection server(timeoutMs);
    cups_dest_t* dests = nullptr;
    const int count = destinations(server, &dests);
    // A connection that closes unanswered leaves libcups's own error: no list was had either.
    const ipp_status_t status = cupsLastError();
    const bool broken =
        count == 0 && (status == IPP_STATUS_ERROR_INTERNAL || status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE);
    if (unreached && (server.unanswered() || broken))
        *unreached = server.error(QStringLiteral("the printers were not listed"));
    for (int i = 0; i < count; ++i) {
        const cups_dest_t& dest = dests[i];
        if (dest.instance)
            continue;
        CupsQueue queue;
        queue.name = QString::fromUtf8(dest.name);
        if (const char* uri = cupsGetOption("device-uri", dest.num_options, dest.options))
            queue.port = portOfDeviceUri(QString::fromUtf8(uri));
        queues.append(queue);
    }
    cupsFreeDests(count, dests);
    return queues;
}

QString CupsQueues::defaultQueue(int timeoutMs)
{
    QString name;
    CupsConnection server(timeoutMs);
    cups_dest_t* dests = nullptr;
    const int count = destinations(server, &dests);
    for (int i = 0; i < count; ++i) {
        if (dests[i].is_default && !dests[i].instance) {
            name = QString::fromUtf8(dests[i].name);
            break;
        }
    }
    cupsFreeDests(count, dests);
    return name;
}

QPageLayout CupsQueues::sheetOf(const QByteArray& media)
{
    QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Point);
    if (pwg_media_t* size = media.isEmpty() ? nullptr : pwgMediaForPWG(media.constData()))
        layout.setPageSize(QPageSize(QSizeF(size->width / 100.0, size->length / 100.0), QPageSize::Millimeter,
                                     QString::fromUtf8(media), QPageSize::FuzzyMatch),
                           layout.margins());
    return layout;
}

QPageLayout CupsQueues::media(const QString& printer, const QByteArray& chosen, int timeoutMs,
                              PrintError* unreached, QByteArray* used)
{
    QPageLayout layout = sheetOf(chosen);
    if (used)
        *used = chosen;
    if (printer.isEmpty())
        return layout;
    CupsConnection server(timeoutMs);
    cups_dest_t* dests = nullptr;
    const int count = destinations(server, &dests);
    // Media asked of a scheduler that does not answer would be a guess: the caller waits.
    const auto unanswered = [&] {
        if (unreached && server.unanswered())
            *unreached = server.error(QStringLiteral("printer %1 was not reached").arg(printer));
    };
    cups_dest_t* dest = cupsGetDest(printer.toUtf8().constData(), nullptr, count, dests);
    if (!dest) {
        unanswered();
        cupsFreeDests(count, dests);
        return layout; // a queue that does not exist: the job says so
    }
    http_t* http = server.request();
    if (cups_dinfo_t* info = http ? cupsCopyDestInfo(http, dest) : nullptr) {
        // The paper chosen, else the one lp would print on: the user's own PageSize for the queue
        // (lpoptions -o PageSize=A4) wins over the queue's default, as lp sends it with every job.
        // The list of destinations does not always carry the queue's default media (a queue
        // made from a PPD and not changed since has none there), and cupsGetDestMediaDefault()
        // then answers Letter whatever the queue holds: the queue's own media-default is asked.
        QByteArray wanted = chosen;
        for (const char* option : {"PageSize", "media"}) {
            if (wanted.isEmpty())
                wanted = cupsGetOption(option, dest->num_options, dest->options);
        }
        if (ipp_attribute_t* queued =
                wanted.isEmpty() ? cupsFindDestDefault(http, dest, info, "media") : nullptr)
            wanted = ippGetString(queued, 0, nullptr);
        // A user's option names the size as the PPD does ("A4", "Letter"); the queue is asked
        // by the size's PWG name.
        const pwg_media_t* named = wanted.isEmpty() ? nullptr : pwgMediaForPWG(wanted.constData());
        if (!named && !wanted.isEmpty())
            named = pwgMediaForPPD(wanted.constData());
        if (named)
            wanted = named->pwg;
        cups_size_t size;
        const bool found = wanted.isEmpty()
                               ? cupsGetDestMediaDefault(http, dest, info, 0, &size)
                               : cupsGetDestMediaByName(http, dest, info, wanted.constData(), 0, &size);
        if (found && size.width > 0 && size.length > 0) {
            if (used)
                *used = QByteArray(size.media);
            // CUPS gives hundredths of millimetres.
            const QPageSize page(QSizeF(size.width / 100.0, size.length / 100.0), QPageSize::Millimeter,
                                 QString::fromUtf8(size.media), QPageSize::FuzzyMatch);
            const QMarginsF margins(size.left / 100.0, size.top / 100.0, size.right / 100.0,
                                    size.bottom / 100.0);
            layout = QPageLayout(page, QPageLayout::Portrait, margins, QPageLayout::Millimeter);
        }
        cupsFreeDestInfo(info);
    }
    unanswered();
    cupsFreeDests(count, dests);
    return layout;
}

QString CupsQueues::portOfDeviceUri(const QString& uri)
{
    // Only a path the program can open itself is a port: a printer CUPS reaches over USB by its
    // identity or over the network has none, and raw jobs for it go through the queue.
    const auto local = [](const QString& path) { return path.startsWith(u'/') ? path : QString(); };
    const qsizetype colon = uri.indexOf(u':');
    if (colon <= 0)
        return local(uri);
    const QString scheme = uri.left(colon).toLower();
    QString rest = uri.mid(colon + 1);
    if (scheme == QLatin1String("file")) {
        // file:///x and file:/x both name /x; file://host/x names no local file.
        if (rest.startsWith(QLatin1String("///")))
            rest = rest.mid(2);
        else if (rest.startsWith(QLatin1String("//")))
            return QString();
        return local(QUrl::fromPercentEncoding(rest.toUtf8()));
    }
    if (scheme == QLatin1String("parallel") || scheme == QLatin1String("serial") ||
        scheme == QLatin1String("usb")) {
        // usb:/dev/usb/lp0 names a device file; usb://Maker/Model?serial=1 does not.
        if (rest.startsWith(QLatin1String("//")))
            return QString();
        const qsizetype query = rest.indexOf(u'?');
        return local(query < 0 ? rest : rest.left(query));
    }
    return QString();
}
