#pragma once

#include <QHash>
#include <QList>
#include <QLocalServer>
#include <QPointer>

class Engine;
class QLocalSocket;

/**
 * The running program's answer to the command line (velmorix2 --status, --retry, --reprint,
 * --remove): a local socket of the user's, one per settings file, under $XDG_RUNTIME_DIR. Each
 * request is one line of JSON, each answer too; the engine answers between two batches.
 */
class ControlServer : public QObject
{
    Q_OBJECT
public:
    ControlServer(Engine& engine, const QString& caminhoIni, QObject* parent = nullptr);

    /// Starts answering; false, with the reason, when another program answers for these
    /// settings already or the socket cannot be made.
    bool listen(QString* error);
    /// Where the program that uses the settings file @p caminhoIni answers.
    static QString socketPath(const QString& caminhoIni);

private:
    void take(QLocalSocket* socket);
    void answer(QLocalSocket* socket, const QJsonObject& reply);

    Engine& m_engine;
    QString m_path;
    QLocalServer m_server;
    QList<QPointer<QLocalSocket>> m_statusAsked;
    QHash<quint64, QPointer<QLocalSocket>> m_actionAsked;
    /// Tickets of their own, apart from the window's.
    quint64 m_nextTicket = quint64(1) << 32;
};

/// The command line's side: sends @p action ("status", "retry", "reprint", "remove") with
/// @p name to the program that uses @p caminhoIni and prints its answer. Returns the exit
/// status: 0 done, 1 refused, 2 no program answers.
int runRemoteCommand(const QString& caminhoIni, const QString& action, const QString& name);
