#pragma once

#include <QByteArray>

#include <functional>

/// Lengths of the printer commands in a spool file, so that their parameters and data are never read as text.
namespace PrinterCommands {
constexpr char kEsc = 0x1B;
/// The universal exit of PCL jobs, around which job-control (PJL) lines are written.
constexpr QByteArrayView kUel("\x1b%-12345X");

/**
 * Bytes taken by the ESC/P command that starts bytes (bytes[0] is ESC), parameters and data included;
 * may be more than bytes.size() for a command with data. 0 when bytes end before the length is known.
 * An ANSI control sequence (ESC [ … final byte) counts as one command. @p pins (9 or 24) tells
 * how user-defined characters (ESC &) are laid out.
 */
qsizetype escPLength(QByteArrayView bytes, int pins = 9);
/// Where the data of the ESC/P command that starts bytes begins: after the count of a bit image
/// (ESC K, L, Y, Z, ESC *) or of an ESC ( command; 2 for commands without a count.
qsizetype escPDataStart(QByteArrayView bytes);

/// One parameter of a PCL command: ESC & l 1 O gives ('&', 'l', 1, 'O').
using PclParameter = std::function<void(char kind, char group, double value, char letter)>;

/// Like escPLength for a PCL command, reporting each of its parameters (letters upper-cased) on the way;
/// *dataAt, when given, is set to where binary data that runs past the end of bytes begins.
qsizetype pclLength(QByteArrayView bytes, const PclParameter& parameter = {}, qsizetype* dataAt = nullptr);
} // namespace PrinterCommands
