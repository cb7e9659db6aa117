#pragma once

#include "platform/PosixFileServices.h"
#include "spool/Asker.h"
#include "spool/PrintJob.h"
#include "spool/Printing.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"
#include "tests/support/ManualClock.h"

#include <QFile>
#include <QHash>
#include <QStringList>

#include <functional>
#include <utility>

/// Writes a file whole, replacing what was there.
inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

/// A file's bytes, or "<missing>".
inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

/// The spool text of these lines: CR LF before every line.
inline QByteArray spool(const QList<QByteArray>& lines)
{
    QByteArray text;
    for (const QByteArray& line : lines)
        text += "\r\n" + line;
    return text;
}

/// A timer the test ticks by hand.
class ManualTimer : public Timer
{
public:
    void setInterval(int ms) override { m_interval = ms; }
    int interval() const override { return m_interval; }
    void setEnabled(bool on) override
    {
        m_enabled = on;
        if (onEnabled)
            onEnabled(on);
    }
    bool isEnabled() const override { return m_enabled; }

    std::function<void(bool)> onEnabled;

private:
    int m_interval = 1000;
    bool m_enabled = false;
};

/// Answers questions from a script (Yes when the script runs out) and records them.
class ScriptedAsker : public Asker
{
public:
    Answer ask(const QString& prompt, Options options, const QString& title) override
    {
        prompts.append(prompt);
        this->options.append(options);
        titles.append(title);
        if (duringQuestion)
            duringQuestion();
        return answers.isEmpty() ? Answer::Yes : answers.takeFirst();
    }
    void inform(const QString&, const QString&) override {}
    QList<Answer> answers;
    QStringList prompts;
    QList<Options> options;
    QStringList titles;
    std::function<void()> duringQuestion;
};

/// Records what the watch cycle tells the window.
class RecordingWindow : public WindowServices
{
public:
    void setActivity(Activity activity) override { activities.append(activity); }
    void setToolTip(const QString& text) override { trayTips.append(text); }
    void log(const QString& line) override { logLines.prepend(line); }
    void logFalha(const QString& line) override { log(line); }
    void aviso(const QString& title, const QString& text) override { notices.append(title + '|' + text); }

    QStringList trayTips, notices;
    QList<Activity> activities;
    QStringList logLines; ///< newest first, as the on-screen log shows them
};

/// A print job that records what it was given and fails on request.
class RecordingPrintJob : public PrintJob
{
public:
    QString failReason = QStringLiteral("refused");
    bool imprime_conteudo(const QByteArray& text, qint16 widestColumns, const QString& title,
                          PrintError* error) override
    {
        if (duringPrint)
            duringPrint();
        if (fail) {
            if (error)
                *error = PrintError::other(failReason);
            ++failures;
            return false;
        }
        texts.append(text);
        measures.append(widestColumns);
        titles.append(title);
        if (giveJobIds)
            m_lastJob = SubmittedJob{QStringLiteral("Q"), int(texts.size()), 1000 + texts.size()};
        return true;
    }
    SubmittedJob takeLastJob() override { return std::exchange(m_lastJob, SubmittedJob()); }
    qint64 sizeLimit() const override { return limit; }
    bool takeCutShort() override { return std::exchange(cutShort, false); }
    QString takeNote() override { return QString(); }
    /// The script of job states: a job not in it is pending.
    JobState jobState(const SubmittedJob& job) override
    {
        ++stateQueries;
        return jobStates.value(job.id, JobState::Pending);
    }
    bool streamsLines() const override { return false; }
    std::unique_ptr<StreamedPrint> beginLines(PrintError*, const QString&, const PrintOutSource&) override
    {
        return nullptr;
    }
    /// Jobs are numbered 1, 2, ... on printer "Q", as a scheduler numbers them.
    bool giveJobIds = false;
    QHash<int, JobState> jobStates;
    int stateQueries = 0;
    bool fail = false;
    int failures = 0;
    qint64 limit = kNoSizeLimit;
    bool cutShort = false; ///< the next print-out ends in a printer command cut short
    QList<QByteArray> texts;
    QList<qint16> measures;
    QStringList titles;
    std::function<void()> duringPrint;

private:
    SubmittedJob m_lastJob;
};

/// The real file system, with failures and a clock the test controls.
class TestFileServices : public PosixFileServices, public ManualClock
{
public:
    QList<QByteArray> listFiles(const QByteArray& folder, ListError* error = nullptr) override
    {
        ++matchCalls;
        return PosixFileServices::listFiles(folder, error);
    }
    std::unique_ptr<ByteSource> openRead(const QByteArray& path, QString* error) override;
    bool rename(const QByteArray& from, const QByteArray& to, QString* error) override;
    bool remove(const QByteArray& path, QString* error) override;

    /// Readings to fail after this many bytes (-1: fail at open), consumed one per reading.
    QList<qint64> failReadsAfter;
    std::function<void()> duringRead; ///< called after each piece a reading hands out
    bool failRename = false;
    bool failRemove = false;
    int openCount = 0;
    int matchCalls = 0;
};

/// A printing service that records what it is given: the documents, as the lines and breaks
/// they draw, the raw jobs and the job states asked for.
class RecordingPrinter : public PrinterDirectory, public DocumentPrinter, public RawPrinter, public JobTracker
{
public:
    QList<PrinterInfo> printers(PrintError* error) override
    {
        if (error)
            *error = listError;
        return installed;
    }
    QString defaultPrinter() override { return current; }
    QStringList faceNames() override { return faces; }
    void useOptions(const DocumentOptions&) override {}
    QString takeNote() override { return QString(); }
    PrintError print(const QString& printer, const Document& document, const QString& title,
                     SubmittedJob* job) override;
    PrintError printRaw(const QString& printer, ByteSource& bytes, const QString& title,
                        SubmittedJob* job) override;
    /// The script of job states: a job not in it is pending.
    JobState jobState(const SubmittedJob& job) override { return jobStates.value(job.id, JobState::Pending); }

    /// A document as it was handed over.
    struct Printed
    {
        QString printer;
        QString title;
        DocumentShape shape;
        QList<PrintedPage> pages;
    };

    QList<PrinterInfo> installed;
    PrintError listError; ///< given with an empty list: the print server did not answer
    QString current;      ///< the default printer
    QStringList faces;
    /// Of every document: "line TEXT" for each line as drawn, "page" for each break, "end".
    QStringList calls;
    QList<Printed> documents;
    QList<QByteArray> rawJobs;
    QHash<int, JobState> jobStates;
    bool failEnd = false; ///< documents are refused
    int nextJob = 0;      ///< more than 0: jobs are numbered from it
};
