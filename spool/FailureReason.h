#pragma once

#include <QString>

/// The short Portuguese reason for an error text that the printing or the file services gave
/// ("fila parada", "permissão negada", ...); the text itself when no reason is known, empty
/// for an empty text. An error with how much of a raw print-out went (comEnvio()) keeps that
/// count after the reason.
QString motivo_falha(const QString& error);
/// The error of a raw print-out that a device took @p sent of its @p size bytes of.
QString comEnvio(const QString& error, qint64 sent, qint64 size);
