#pragma once

class QString;

/// Runs the watch cycle with no window and no tray until SIGTERM or SIGINT; the log goes to
/// standard output. Returns the program's exit status.
int runService(const QString& caminhoIni);
