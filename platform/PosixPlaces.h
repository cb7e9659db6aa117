#pragma once

#include "spool/Places.h"

/// The program's folder and the process's working folder.
class PosixPlaces : public Places
{
public:
    QByteArray applicationFolder() override;
    QByteArray currentDirectory() override;
};
