#pragma once

#include "text/Encoding.h"
#include "text/PrintedDocument.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

/// The first of @p faces whose name starts with the prefix (case aside); empty when none does.
QString seleciona_fonte(const QStringList& faces, const QString& prefix);
/// Point size for the longest line: "11", "9", "8" or "7".
QString tamanho_fonte(qint16 widestColumns);

/// The document of a spool text's lines with their page breaks (form feeds, "eject" lines).
/// Lines decode from @p encoding; @p linesPerPage more than 0 fits that many lines on a page.
/// The document reads @p text, which must outlive it, without copying it.
Document imprime_linhas(const QByteArray& text, CodePage::Encoding encoding = CodePage::Encoding::Windows1252,
                        int linesPerPage = 0);
/// The document of a file with printer commands: its pages as the printer lays them out. The
/// document reads @p file, which must outlive it. *cutShort tells whether a printer command was
/// cut short by the end of the file (its bytes are printed as text). @p pins is the printer's
/// family, 9 or 24 (see EscP::Options).
Document imprime_codigos(QByteArrayView file, CodePage::Encoding encoding, int linesPerPage,
                         bool* cutShort = nullptr, int pins = 9);
/// The document of a spool text: a printer's pages when it carries printer commands, lines otherwise.
Document imprime_documento(const QByteArray& text, CodePage::Encoding encoding, int linesPerPage = 0,
                           bool* cutShort = nullptr, int pins = 9);

/// Whether each byte decodes to a character that needs a second face (neither Windows-1252's
/// nor a box or block character); empty for UTF-8, whose characters are not single bytes.
QList<bool> bytesNeedingFallback(CodePage::Encoding encoding);
/// Whether a Courier face draws the character: Windows-1252's, and the box and block characters
/// drawn as rules.
bool drawnWithoutFallback(QChar ch);
