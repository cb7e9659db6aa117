#include "spool/PrintError.h"

#include <cerrno>
#include <cstring>

namespace {

struct ErrnoKind
{
    int err;
    PrintError::Kind kind;
};

constexpr ErrnoKind kErrnoKinds[] = {
    {EACCES, PrintError::Kind::Permission}, {EPERM, PrintError::Kind::Permission},
    {EROFS, PrintError::Kind::ReadOnly},    {ENOSPC, PrintError::Kind::DiskFull},
    {EDQUOT, PrintError::Kind::DiskFull},   {ETIMEDOUT, PrintError::Kind::TimedOut},
    {ENXIO, PrintError::Kind::NoDevice},    {ENODEV, PrintError::Kind::NoDevice},
    {ENOENT, PrintError::Kind::NoDevice},   {EBUSY, PrintError::Kind::DeviceBusy},
    {EIO, PrintError::Kind::InputOutput},   {EPIPE, PrintError::Kind::Disconnected},
};

const char* reasonOf(PrintError::Kind kind)
{
    switch (kind) {
    case PrintError::Kind::QueueStopped:
        return "fila parada";
    case PrintError::Kind::Rejected:
        return "trabalho recusado";
    case PrintError::Kind::NoSuchPrinter:
        return "impressora inexistente";
    case PrintError::Kind::NoDevice:
        return "dispositivo inexistente";
    case PrintError::Kind::Permission:
        return "permissão negada";
    case PrintError::Kind::ReadOnly:
        return "somente leitura";
    case PrintError::Kind::DiskFull:
        return "sem espaço no disco";
    case PrintError::Kind::TimedOut:
        return "tempo esgotado";
    case PrintError::Kind::DeviceBusy:
        return "dispositivo ocupado";
    case PrintError::Kind::InputOutput:
        return "erro de entrada e saída";
    case PrintError::Kind::Disconnected:
        return "dispositivo desconectado";
    case PrintError::Kind::ServerDown:
        return "servidor de impressão indisponível";
    case PrintError::Kind::NoPort:
        return "porta não definida";
    case PrintError::Kind::Ending:
        return "programa encerrando";
    case PrintError::Kind::Aborted:
        return "trabalho abortado";
    case PrintError::Kind::JobUnknown:
        return "trabalho desconhecido pelo servidor";
    case PrintError::Kind::None:
    case PrintError::Kind::Other:
        break;
    }
    return nullptr;
}

} // namespace

PrintError PrintError::fromErrno(int err, const QString& text)
{
    for (const ErrnoKind& e : kErrnoKinds) {
        if (e.err == err)
            return PrintError(e.kind, text);
    }
    return other(text);
}

PrintError PrintError::fromSystemText(const QString& text)
{
    // strerror's text is in whatever language the process runs in: it is compared with the
    // same process's.
    for (const ErrnoKind& e : kErrnoKinds) {
        if (text.endsWith(QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(e.err))))
            return PrintError(e.kind, text);
    }
    return text.isEmpty() ? PrintError() : other(text);
}

PrintError PrintError::withProgress(qint64 sentBytes, qint64 sizeBytes) const
{
    PrintError error = *this;
    error.sent = sentBytes;
    error.size = sizeBytes;
    return error;
}

QString motivo_falha(const PrintError& error)
{
    const char* reason = reasonOf(error.kind);
    QString motivo = reason ? QString::fromUtf8(reason) : error.text;
    // Which queue is missing is what the user must fix: the settings name it.
    if (error.kind == PrintError::Kind::NoSuchPrinter && !error.printer.isEmpty())
        motivo += QStringLiteral(": ") + error.printer;
    if (error.sent >= 0)
        motivo += QStringLiteral(", %1 de %2 bytes enviados").arg(error.sent).arg(error.size);
    return motivo;
}
