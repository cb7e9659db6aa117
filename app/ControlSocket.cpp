#include "app/ControlSocket.h"

#include "app/Engine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QStandardPaths>

#include <cstdio>

namespace {

/// How long the command line waits for an answer: the engine answers after the batch in hand.
constexpr int kAnswerWaitMs = 60 * 1000;

QByteArray lineOf(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

void print(FILE* to, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
}

QString describe(const PrintOut& out)
{
    QString line = out.path + QStringLiteral("  %1 bytes").arg(out.size);
    if (out.since.isValid())
        line += QStringLiteral("  desde ") + out.since.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    line += QStringLiteral("  ") + out.state;
    if (!out.reason.isEmpty())
        line += QStringLiteral(" (") + out.reason + u')';
    if (out.nextTryMs >= 0)
        line += QStringLiteral(", próxima tentativa em %1 s").arg((out.nextTryMs + 999) / 1000);
    return line;
}

} // namespace

ControlServer::ControlServer(Engine& engine, const QString& caminhoIni, QObject* parent)
    : QObject(parent), m_engine(engine), m_path(socketPath(caminhoIni))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { take(socket); });
        }
    });
    connect(&engine.relay(), &EngineRelay::printOutsChanged, this, [this](const QList<PrintOut>& printOuts) {
        QJsonArray list;
        for (const PrintOut& out : printOuts)
            list.append(out.toJson());
        const QJsonObject reply{{QStringLiteral("ok"), true}, {QStringLiteral("impressoes"), list}};
        for (const QPointer<QLocalSocket>& socket : std::exchange(m_statusAsked, {}))
            answer(socket, reply);
    });
    connect(&engine.relay(), &EngineRelay::actionDone, this,
            [this](quint64 ticket, bool ok, const QString& message) {
                if (const QPointer<QLocalSocket> socket = m_actionAsked.take(ticket))
                    answer(socket, {{QStringLiteral("ok"), ok}, {QStringLiteral("mensagem"), message}});
            });
}

QString ControlServer::socketPath(const QString& caminhoIni)
{
    // One socket per settings file: two spoolers of one user each answer for their own.
    const QByteArray key = QCryptographicHash::hash(QFile::encodeName(caminhoIni), QCryptographicHash::Sha1);
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/velmorix2/control-") + QString::fromLatin1(key.toHex().left(12));
}

bool ControlServer::listen(QString* error)
{
    QDir().mkpath(QFileInfo(m_path).path());
    QLocalSocket probe;
    probe.connectToServer(m_path);
    if (probe.waitForConnected(1000)) {
        *error = QStringLiteral("outro Velmorix2 já atende em ") + m_path;
        return false;
    }
    // Left by a program that ended without removing it.
    QLocalServer::removeServer(m_path);
    if (!m_server.listen(m_path)) {
        *error = m_server.errorString();
        return false;
    }
    return true;
}

void ControlServer::take(QLocalSocket* socket)
{
    if (!socket->canReadLine())
        return;
    const QJsonObject request = QJsonDocument::fromJson(socket->readLine()).object();
    const QString action = request.value(QStringLiteral("acao")).toString();
    PrintOuts::Action which;
    if (action == QStringLiteral("status")) {
        m_statusAsked.append(socket);
        m_engine.requestPrintOuts();
    } else if (PrintOuts::actionOf(action, &which)) {
        const quint64 ticket = m_nextTicket++;
        m_actionAsked.insert(ticket, socket);
        m_engine.requestAction(which, request.value(QStringLiteral("nome")).toString(), ticket);
    } else {
        answer(socket, {{QStringLiteral("ok"), false},
                        {QStringLiteral("mensagem"), QStringLiteral("pedido desconhecido")}});
    }
}

void ControlServer::answer(QLocalSocket* socket, const QJsonObject& reply)
{
    if (!socket)
        return;
    socket->write(lineOf(reply));
    socket->disconnectFromServer();
}

int runRemoteCommand(const QString& caminhoIni, const QString& action, const QString& name)
{
    QLocalSocket socket;
    socket.connectToServer(ControlServer::socketPath(caminhoIni));
    if (!socket.waitForConnected(2000)) {
        print(stderr, QStringLiteral("Velmorix2 não está em execução com as configurações ") + caminhoIni);
        return 2;
    }
    socket.write(lineOf({{QStringLiteral("acao"), action}, {QStringLiteral("nome"), name}}));
    socket.flush();
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState)
        if (!socket.waitForReadyRead(kAnswerWaitMs))
            break;
    const QJsonObject reply = QJsonDocument::fromJson(socket.readLine()).object();
    if (reply.isEmpty()) {
        print(stderr, QStringLiteral("Velmorix2 não respondeu"));
        return 2;
    }
    const bool ok = reply.value(QStringLiteral("ok")).toBool();
    if (reply.contains(QStringLiteral("impressoes"))) {
        const QJsonArray list = reply.value(QStringLiteral("impressoes")).toArray();
        if (list.isEmpty())
            print(stdout, QStringLiteral("Nenhuma impressão aguardando"));
        for (const QJsonValue& each : list)
            print(stdout, describe(PrintOut::fromJson(each.toObject())));
    } else {
        print(ok ? stdout : stderr, reply.value(QStringLiteral("mensagem")).toString());
    }
    return ok ? 0 : 1;
}
