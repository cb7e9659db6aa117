#include "tests/support/Doubles.h"

namespace {

/// Passes reads through until a byte budget is spent, then fails.
class FailingSource : public ByteSource
{
public:
    FailingSource(std::unique_ptr<ByteSource> inner, qint64 budget)
        : m_inner(std::move(inner)), m_budget(budget)
    {
    }
    qint64 read(char* data, qint64 max) override
    {
        if (m_budget <= 0)
            return -1;
        const qint64 n = m_inner->read(data, std::min(max, m_budget));
        if (n > 0)
            m_budget -= n;
        return n;
    }
    QString errorString() const override { return QStringLiteral("read failed"); }

private:
    std::unique_ptr<ByteSource> m_inner;
    qint64 m_budget;
};

/// Calls a hook after each piece it passes on: the test changes the file while it is read.
class HookedSource : public ByteSource
{
public:
    HookedSource(std::unique_ptr<ByteSource> inner, std::function<void()> hook)
        : m_inner(std::move(inner)), m_hook(std::move(hook))
    {
    }
    qint64 read(char* data, qint64 max) override
    {
        const qint64 n = m_inner->read(data, max);
        m_hook();
        return n;
    }
    QString errorString() const override { return m_inner->errorString(); }

private:
    std::unique_ptr<ByteSource> m_inner;
    std::function<void()> m_hook;
};

} // namespace

std::unique_ptr<ByteSource> TestFileServices::openRead(const QByteArray& path, QString* error)
{
    ++openCount;
    const qint64 failAfter = failReadsAfter.isEmpty() ? -2 : failReadsAfter.takeFirst();
    if (failAfter == -1) {
        if (error)
            *error = QStringLiteral("cannot open");
        return nullptr;
    }
    std::unique_ptr<ByteSource> in = PosixFileServices::openRead(path, error);
    if (in && duringRead)
        in = std::make_unique<HookedSource>(std::move(in), duringRead);
    if (!in || failAfter < 0)
        return in;
    return std::make_unique<FailingSource>(std::move(in), failAfter);
}

bool TestFileServices::rename(const QByteArray& from, const QByteArray& to, QString* error)
{
    return !failRename && PosixFileServices::rename(from, to, error);
}

bool TestFileServices::remove(const QByteArray& path, QString* error)
{
    return !failRemove && PosixFileServices::remove(path, error);
}

PrintError RecordingPrinter::print(const QString& printer, const Document& document, const QString& title,
                                   SubmittedJob* job)
{
    Printed printed{printer, title, document.shape(), {}};
    bool first = true;
    document.pages([&](PrintedPage&& page) {
        if (!first && !page.continued)
            calls.append(QStringLiteral("page"));
        first = false;
        for (const PrintedLine& line : std::as_const(page.lines)) {
            QString text;
            for (const StyledRun& run : line.runs)
                text += drawnText(run.text, document.shape().encoding, text.size());
            calls.append("line " + text);
        }
        // The runs of plain lines read the spool text: the copies kept here must not.
        for (PrintedLine& line : page.lines) {
            for (StyledRun& run : line.runs)
                run.text = QByteArray(run.text.constData(), run.text.size());
        }
        printed.pages.append(std::move(page));
    });
    calls.append(QStringLiteral("end"));
    documents.append(printed);
    if (failEnd)
        return PrintError::other(QStringLiteral("printer failed"));
    if (job)
        *job = SubmittedJob{printer, nextJob > 0 ? nextJob++ : 0, 0};
    return PrintError();
}

PrintError RecordingPrinter::printRaw(const QString& printer, ByteSource& bytes, const QString& title,
                                      SubmittedJob* job)
{
    Q_UNUSED(title);
    QByteArray all;
    char block[4096];
    qint64 n = 0;
    while ((n = bytes.read(block, sizeof block)) > 0)
        all.append(block, n);
    rawJobs.append(all);
    if (job)
        *job = SubmittedJob{printer, nextJob > 0 ? nextJob++ : 0, 0};
    return PrintError();
}
