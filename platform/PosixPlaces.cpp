#include "platform/PosixPlaces.h"

#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

QByteArray PosixPlaces::applicationFolder()
{
    return QFile::encodeName(QCoreApplication::applicationDirPath());
}

QByteArray PosixPlaces::currentDirectory()
{
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? QByteArray(buf) : QByteArray(".");
}
