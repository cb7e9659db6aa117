#include "ui/ServiceMode.h"

#include "platform/CupsPrintingService.h"
#include "platform/PosixClock.h"
#include "platform/PosixFileServices.h"
#include "platform/PosixPlaces.h"
#include "platform/PosixRawPort.h"
#include "ui/Engine.h"
#include "ui/UnixSignals.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

/// One log line on standard output, written at once: a journal or a pipe sees it as it happens.
void writeLine(const QString& line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

/// The log on standard output; there are no icons to show.
class ConsoleLog : public WindowServices
{
public:
    bool setTrayPicture(const QString&) override { return true; }
    bool setWindowIconByName(const QString&) override { return true; }
    void icone_bandeja(int, const QString&) override {}
    void log(const QString& line) override { writeLine(line); }
};

/// Nobody is there to answer: a file that cannot be read is tried once more at once, then
/// counts as not printed and waits for the cycle's retry pause.
class UnattendedAsker : public Asker
{
public:
    int ask(const QString&, int, const QString&) override { return Yes; }
    void inform(const QString& text, const QString&) override { writeLine(text); }
};

} // namespace

int runService(const QString& caminhoIni)
{
    PosixFileServices files;
    PosixClock clock;
    PosixRawPort rawPort;
    PosixPlaces places;
    CupsPrintingService printing;
    UnattendedAsker asker;
    ConsoleLog console;
    Engine engine({files, files, clock, rawPort, places, printing, asker});
    engine.setWindow(&console);
    engine.settings.sCaminhoIni = caminhoIni;

    QString error;
    if (!engine.recarrega(&error)) {
        writeLine(QStringLiteral("Não foi possível ler o arquivo de configurações: ") + error);
        return 1;
    }

    UnixSignals unixSignals;
    QObject::connect(&unixSignals, &UnixSignals::terminate, [&engine] {
        engine.cycle().stopAfterFile();
        QCoreApplication::quit();
    });
    QObject::connect(&unixSignals, &UnixSignals::reload, [&engine] {
        QString error;
        if (!engine.recarrega(&error))
            writeLine(QStringLiteral("Não foi possível ler o arquivo de configurações: ") + error);
    });
    return QCoreApplication::exec();
}
