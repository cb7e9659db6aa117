#pragma once

#include <QString>

/// The short Portuguese reason for an error text that the printing or the file services gave
/// ("fila parada", "permissão negada", ...); the text itself when no reason is known, empty
/// for an empty text.
QString motivo_falha(const QString& error);
