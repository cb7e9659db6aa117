#pragma once

#include "platform/PosixFileServices.h"
#include "spool/Asker.h"
#include "spool/PrintJob.h"
#include "spool/PrintingService.h"
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
    bool imprime_conteudo(const QByteArray& text, qint16 iMaxColunas, const QString& title,
                          QString* error) override
    {
        if (duringPrint)
            duringPrint();
        if (fail) {
            if (error)
                *error = QStringLiteral("refused");
            ++failures;
            return false;
        }
        texts.append(text);
        measures.append(iMaxColunas);
        titles.append(title);
        if (giveJobIds)
            m_lastJob = SubmittedJob{QStringLiteral("Q"), int(texts.size()), 1000 + texts.size()};
        return true;
    }
    SubmittedJob takeLastJob() override { return std::exchange(m_lastJob, SubmittedJob()); }
    qint64 sizeLimit() const override { return limit; }
    bool takeCutShort() override { return std::exchange(cutShort, false); }
    /// The script of job states: a job not in it is pending.
    PrintingService::JobState jobState(const SubmittedJob& job) override
    {
        ++stateQueries;
        return jobStates.value(job.id, PrintingService::JobState::Pending);
    }
    /// Jobs are numbered 1, 2, ... on printer "Q", as a scheduler numbers them.
    bool giveJobIds = false;
    QHash<int, PrintingService::JobState> jobStates;
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

/// A printing service that records every call as text.
class RecordingPrinter : public PrintingService
{
public:
    QList<PrinterInfo> printers() override { return installed; }
    bool selectPrinter(int index) override;
    QString currentPrinter() const override { return current; }
    QStringList faceNames() override { return faces; }
    void setFaceName(const QString& face) override { calls.append("face " + face); }
    void setBold(bool on) override { calls.append(QStringLiteral("bold %1").arg(on)); }
    void setItalic(bool on) override { calls.append(QStringLiteral("italic %1").arg(on)); }
    void setUnderline(bool on) override { calls.append(QStringLiteral("underline %1").arg(on)); }
    void setPointSize(float points) override { calls.append(QStringLiteral("size %1").arg(points)); }
    void setJobTitle(const QString& title) override { calls.append("title " + title); }
    void printLine(const QString& line) override { calls.append("line " + line); }
    void newPage() override { calls.append(QStringLiteral("page")); }
    bool endDocument() override
    {
        calls.append(QStringLiteral("end"));
        return !failEnd;
    }
    QString errorString() const override { return QStringLiteral("printer failed"); }

    QList<PrinterInfo> installed;
    QString current;
    QStringList faces;
    QStringList calls;
    bool failEnd = false;
};
