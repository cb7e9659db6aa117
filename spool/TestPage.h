#pragma once

#include <QByteArray>
#include <QDateTime>

class Asker;
class Clock;
class FileServices;
class Places;
class PrintJob;
class WindowServices;
struct Settings;

/**
 * The test page, as the bytes an Epson program writes for its printer: the settings in force,
 * rulers at three pitches, the size table of plain text, the code page's letters and frames, the
 * ESC/P styles, a bit image and a bar code. Its text is written in the configured code page, and
 * it selects no character table of its own, so it shows whether the printer and the settings agree.
 * It sets no form length either: LINHAS and AGULHAS apply to it as to any file with printer codes.
 */
QByteArray testPageBytes(const Settings& settings, const QDateTime& moment);

/// The spool name the test page is printed and logged under.
extern const char kTestPageTitle[];

/**
 * Prints the test page through the path of a spool file: written into a scratch file in the
 * working folder (hidden, so no watched pattern ever takes it), read by the spool reader and
 * handed to @p printJob, graphical or raw as the settings say. The scratch file is removed
 * whether it printed or not: nothing is left to print later, and the watched folders are never
 * touched. Logs the outcome; a failure is also a notice. True when it printed.
 */
bool printTestPage(const Settings& settings, FileServices& files, Places& places, Clock& clock, Asker& asker,
                   PrintJob& printJob, WindowServices& window);
