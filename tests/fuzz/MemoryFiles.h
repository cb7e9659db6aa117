#pragma once

#include "spool/FileServices.h"

#include <QHash>

/// Files held in memory, for fuzzing without touching the disk.
class MemoryFiles : public FileServices
{
public:
    QHash<QByteArray, QByteArray> files;

    QList<QByteArray> enumerate(const QByteArray&) override { return {}; }
    bool isPlainFile(const QByteArray& path) override { return files.contains(path); }
    FileStamp stamp(const QByteArray& path) override
    {
        FileStamp s;
        if (files.contains(path))
            s.size = files.value(path).size();
        return s;
    }
    bool isBeingWritten(const QByteArray&) override { return false; }
    std::unique_ptr<ByteSource> openRead(const QByteArray& path, QString* error) override
    {
        if (!files.contains(path)) {
            if (error)
                *error = QStringLiteral("missing");
            return nullptr;
        }
        return std::make_unique<Source>(files.value(path));
    }
    bool writeFile(const QByteArray& path, const QByteArray& data, QString*) override
    {
        files.insert(path, data);
        return true;
    }
    bool writeNewFile(const QByteArray& path, const QList<QByteArrayView>& parts, QString*) override
    {
        if (files.contains(path))
            return false;
        QByteArray all;
        for (QByteArrayView p : parts)
            all.append(p);
        files.insert(path, all);
        return true;
    }
    bool remove(const QByteArray& path, QString*) override { return files.remove(path) > 0; }
    bool rename(const QByteArray& from, const QByteArray& to, QString*) override
    {
        if (files.contains(to) || !files.contains(from))
            return false;
        files.insert(to, files.take(from));
        return true;
    }
    bool copyToDevice(const QByteArray& source, const QByteArray& destination, int, QString*) override
    {
        files.insert(destination, files.value(source));
        return true;
    }
    QByteArray applicationFolder() override { return "/app"; }
    QByteArray currentDirectory() override { return "/cwd"; }
    QDateTime now() override { return QDateTime(QDate(2026, 12, 8), QTime(14, 30, 5)); }
    qint64 monotonicMs() override { return 0; }

private:
    /// Hands the bytes out in small, uneven chunks so line ends fall across reads.
    class Source : public ByteSource
    {
    public:
        explicit Source(QByteArray data) : m_data(std::move(data)) {}
        qint64 read(char* out, qint64 max) override
        {
            const qint64 n = std::min<qint64>({max, m_data.size() - m_pos, 1 + (m_pos * 7) % 13});
            std::memcpy(out, m_data.constData() + m_pos, size_t(n));
            m_pos += n;
            return n;
        }
        QString errorString() const override { return QString(); }

    private:
        QByteArray m_data;
        qint64 m_pos = 0;
    };
};
