#include "spool/FailureReason.h"

#include <QRegularExpression>

#include <cerrno>
#include <cstring>

namespace {

struct Motivo
{
    const char* marker;
    const char* motivo;
};

// Markers the printing path puts into its error texts: IPP status keywords, which CUPS never
// translates, and the few texts of our own. The message beside a keyword may be in any language.
constexpr Motivo kMarcadores[] = {
    {"[printer-state-stopped]", "fila parada"},
    {"[server-error-not-accepting-jobs]", "trabalho recusado"},
    {"[client-error-not-possible]", "trabalho recusado"},
    {"[client-error-document-format-not-supported]", "trabalho recusado"},
    {"[client-error-not-found]", "impressora inexistente"},
    {"no printer is installed", "impressora inexistente"},
    {"no printer is selected", "impressora inexistente"},
    {"[client-error-forbidden]", "permissão negada"},
    {"[client-error-not-authorized]", "permissão negada"},
    {"[client-error-not-authenticated]", "permissão negada"},
    {"[client-error-timeout]", "tempo esgotado"},
    {"[server-error-service-unavailable]", "servidor de impressão indisponível"},
    {"no port is set for raw printing", "porta não definida"},
    {"the program is ending", "programa encerrando"},
    {"[job-aborted]", "trabalho abortado"},
    {"[job-unknown]", "trabalho desconhecido pelo servidor"},
};

struct MotivoErrno
{
    int err;
    const char* motivo;
};

// File and device errors end in strerror's text, in whatever language the process runs in:
// they are recognised by comparing with strerror of the same process.
constexpr MotivoErrno kErros[] = {
    {EACCES, "permissão negada"},        {EPERM, "permissão negada"},
    {EROFS, "somente leitura"},          {ENOSPC, "sem espaço no disco"},
    {EDQUOT, "sem espaço no disco"},     {ETIMEDOUT, "tempo esgotado"},
    {ENXIO, "dispositivo inexistente"},  {ENODEV, "dispositivo inexistente"},
    {ENOENT, "dispositivo inexistente"}, {EBUSY, "dispositivo ocupado"},
    {EIO, "erro de entrada e saída"},    {EPIPE, "dispositivo desconectado"},
};

} // namespace

QString comEnvio(const QString& error, qint64 sent, qint64 size)
{
    return error + QStringLiteral("; ") + QStringLiteral("%1 de %2 bytes enviados").arg(sent).arg(size);
}

QString motivo_falha(const QString& error)
{
    static const QRegularExpression envio(QStringLiteral("; (\\d+ de \\d+ bytes enviados)$"));
    const QRegularExpressionMatch match = envio.match(error);
    if (match.hasMatch())
        return motivo_falha(error.left(match.capturedStart())) + QStringLiteral(", ") + match.captured(1);

    for (const Motivo& m : kMarcadores) {
        if (error.contains(QLatin1String(m.marker), Qt::CaseInsensitive))
            return QString::fromUtf8(m.motivo);
    }
    for (const MotivoErrno& e : kErros) {
        if (error.endsWith(QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(e.err))))
            return QString::fromUtf8(e.motivo);
    }
    return error;
}
