#pragma once

class QString;

/// Runs the watch cycle with no window and no tray until SIGTERM or SIGINT; the log goes to
/// standard output. Returns the program's exit status.
int runService(const QString& caminhoIni);

/// Prints the test page once with the settings file's settings, with no window, the log on
/// standard output; 0 when it printed, 1 when it did not or the settings could not be read.
int printTestPageOnce(const QString& caminhoIni);
