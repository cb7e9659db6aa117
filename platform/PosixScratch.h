#pragma once

#include "spool/FileServices.h"

/// Scratch files on POSIX, each recorded outside the folder while it exists, so that a later
/// run removes what a run that ended early left behind, and nothing else.
namespace PosixScratch {

/// Creates the file with O_CREAT|O_EXCL|O_NOFOLLOW and records it.
std::unique_ptr<ScratchFile> create(const QByteArray& path, QString* error);
/// Removes the files recorded by runs whose process is gone, and their records.
void removeLeftovers();
/// The folder of the records: $XDG_RUNTIME_DIR/velmorix2, else the configuration folder.
QByteArray recordFolder();

} // namespace PosixScratch
