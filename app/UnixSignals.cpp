#include "app/UnixSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};
UnixSignals::Urgent g_onTerminate = nullptr;

void onSignal(int number)
{
    // The code it interrupts may be looking at errno (libcups after an interrupted poll).
    const int savedErrno = errno;
    if (number != SIGHUP && g_onTerminate)
        g_onTerminate();
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

UnixSignals::UnixSignals(QObject* parent, Urgent onTerminate) : QObject(parent)
{
    g_onTerminate = onTerminate;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        if (::read(g_signalPipe[0], &byte, 1) != 1)
            return;
        if (byte == SIGHUP)
            emit reload();
        else
            emit terminate();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}
