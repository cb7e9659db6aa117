#pragma once

#include <QString>

/**
 * Text as every log shows it (the window's log, the service's standard output and journal, the
 * tray notices): always one line, with nothing a terminal or the journal would act on. Control
 * characters (C0, tab included, DEL and C1) are written as "\xHH", and the Unicode line and
 * paragraph separators, which the window breaks lines at, as "\u2028" and "\u2029". Anything
 * else, accents included, is left as it is; so is "\", which makes the function give the same
 * text when applied twice.
 */
QString shownInLog(const QString& text);
