#include "spool/SpoolText.h"

qsizetype SpoolText::trimmedLength(QByteArrayView line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && line[begin] == ' ')
        ++begin;
    while (end > begin && line[end - 1] == ' ')
        --end;
    return end - begin;
}
