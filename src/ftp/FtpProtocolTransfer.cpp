#include "FtpProtocol.h"

#include "NameCodec.h"
#include "ReplyParsers.h"

// The data connection dance of FtpProtocol: passive or active, the transfer command with its
// preliminary and final replies, the bytes in both directions, and giving a transfer up.

std::unique_ptr<DataConnection> FtpProtocol::openPassive()
{
    const QHostAddress server = m_control.peerAddress();
    if (!m_epsvRefused) {
        const std::optional<Reply> reply = command(u"EPSV");
        if (!reply)
            return nullptr;
        if (reply->code == 229) {
            if (const auto port = ReplyParsers::parseEpsvReply(reply->firstLine())) {
                auto data = std::make_unique<DataConnection>(m_policy);
                if (!data->connectTo(server, *port)) {
                    fail(data->errorText());
                    return nullptr;
                }
                return data;
            }
            note(QStringLiteral("unreadable EPSV reply; trying PASV"));
        }
        m_epsvRefused = true;
    }
    if (server.protocol() != QAbstractSocket::IPv4Protocol) {
        fail(QStringLiteral("the server refused EPSV, and PASV cannot reach an IPv6 server"));
        return nullptr;
    }
    const std::optional<Reply> reply = command(u"PASV");
    if (!reply)
        return nullptr;
    const auto offered = reply->code == 227 ? ReplyParsers::parsePasvReply(reply->firstLine()) : std::nullopt;
    if (!offered) {
        fail(QStringLiteral("PASV: %1").arg(replyText(*reply)), reply->code);
        return nullptr;
    }
    // The address in a PASV reply is ignored: servers behind NAT announce private addresses,
    // and a hostile one could point us at a third party. The port is all we take.
    auto data = std::make_unique<DataConnection>(m_policy);
    if (!data->connectTo(server, offered->port)) {
        fail(data->errorText());
        return nullptr;
    }
    return data;
}

std::unique_ptr<DataConnection> FtpProtocol::openActive()
{
    auto data = std::make_unique<DataConnection>(m_policy);
    const QHostAddress listenOn = m_control.localAddress();
    if (!data->listen(listenOn)) {
        fail(data->errorText());
        return nullptr;
    }
    QHostAddress local = listenOn;
    local.setScopeId(QString()); // the server cannot use our interface name
    const bool isIpv4 = local.protocol() == QAbstractSocket::IPv4Protocol;
    if (!m_eprtRefused) {
        const QString argument = QStringLiteral("|%1|%2|%3|").arg(isIpv4 ? 1 : 2).arg(local.toString()).arg(data->listenPort());
        const std::optional<Reply> reply = command(u"EPRT", argument);
        if (!reply)
            return nullptr;
        if (reply->isCompletion())
            return data;
        m_eprtRefused = true;
    }
    if (!isIpv4) {
        fail(QStringLiteral("the server refused EPRT, and PORT cannot carry an IPv6 address"));
        return nullptr;
    }
    const quint32 address = local.toIPv4Address();
    const quint16 port = data->listenPort();
    const QString argument = QStringLiteral("%1,%2,%3,%4,%5,%6")
                                 .arg(address >> 24)
                                 .arg((address >> 16) & 0xFF)
                                 .arg((address >> 8) & 0xFF)
                                 .arg(address & 0xFF)
                                 .arg(port >> 8)
                                 .arg(port & 0xFF);
    if (!expectCompletion(u"PORT", argument))
        return nullptr;
    return data;
}

bool FtpProtocol::startTransfer(QStringView verb, const QString& argument, Transfer& transfer, qint64 restartAt)
{
    transfer = Transfer{};
    transfer.command = argument.isEmpty() ? verb.toString() : verb.toString() + QLatin1Char(' ') + argument;
    if (!ensureReady() || !checkArgument(verb, argument))
        return false;
    setState(State::OpeningData);
    transfer.data = m_passive ? openPassive() : openActive();
    if (!transfer.data) {
        if (m_state != State::Disconnected)
            setState(State::Ready);
        return false;
    }
    // REST right before the transfer command, which it concerns (RFC 3659, 5.3).
    if (restartAt > 0) {
        const std::optional<Reply> restart = command(u"REST", QString::number(restartAt));
        if (!restart)
            return false;
        transfer.restartRefused = restart->code != 350;
    }
    QByteArray line = verb.toLatin1();
    if (!argument.isEmpty())
        line += ' ' + NameCodec::encode(argument);
    const std::optional<Reply> reply = sendLine(line, transfer.command);
    if (!reply)
        return false;
    if (reply->isCompletion()) {
        transfer.finalReply = reply; // nothing to send, or it went before we asked (seen with empty listings)
    } else if (reply->isPreliminary()) {
        transfer.reply = *reply;
        transfer.preliminaryReplies = 1;
    } else {
        transfer.refusal = reply;
        transfer.data.reset();
        setState(State::Ready);
        return fail(QStringLiteral("%1: %2").arg(transfer.command, replyText(*reply)), reply->code);
    }

    if (!m_passive && !transfer.finalReply) {
        DataConnection::Event event = transfer.data->accept(m_control.peerAddress(), &m_control);
        // Replies may arrive before the server's connection is taken, the final one too: a small
        // file can be sent and done while its connection still waits in the backlog. Its data is
        // read all the same, or the transfer would count as complete with nothing received.
        while (event == DataConnection::Event::ControlReady) {
            if (!takeMidTransferReply(transfer))
                return false;
            event = transfer.data->accept(m_control.peerAddress(), transfer.finalReply ? nullptr : &m_control);
        }
        if (event != DataConnection::Event::Done) {
            const QString reason = transfer.data->errorText();
            transfer.data.reset();
            dropConnection(); // the server's state is unknown now
            return fail(QStringLiteral("%1: %2").arg(transfer.command, reason));
        }
    }
    if (m_encrypted && !secureData(transfer))
        return false;
    setState(State::Transferring);
    return true;
}

bool FtpProtocol::takeMidTransferReply(Transfer& transfer)
{
    std::optional<Reply> reply = m_control.readReply();
    if (!reply) {
        transfer.data.reset();
        return failTransport();
    }
    note(QStringLiteral("< %1").arg(replyText(*reply)));
    if (reply->isPreliminary()) {
        if (!countPreliminary(transfer.preliminaryReplies)) {
            transfer.data->abort();
            transfer.data.reset();
            return false;
        }
        if (transfer.reply.code == 0)
            transfer.reply = *reply;
        return true;
    }
    transfer.finalReply = reply;
    if (reply->isCompletion())
        return true; // the last bytes may still be on their way; the data connection's end decides
    transfer.data->abort();
    transfer.data.reset();
    setState(State::Ready);
    return fail(QStringLiteral("%1: %2").arg(transfer.command, replyText(*reply)));
}

bool FtpProtocol::readFinalReply(Transfer& transfer, int idleMilliseconds)
{
    setState(State::Finishing);
    const QDeadlineTimer deadline(idleMilliseconds < 0 ? m_policy.idleTimeout() : idleMilliseconds);
    while (!transfer.finalReply) {
        std::optional<Reply> reply = m_control.readReply(WaitPolicy::remainingMilliseconds(deadline));
        if (!reply)
            return failTransport();
        note(QStringLiteral("< %1").arg(replyText(*reply)));
        if (!reply->isPreliminary())
            transfer.finalReply = reply;
        else if (!countPreliminary(transfer.preliminaryReplies))
            return false;
    }
    setState(State::Ready);
    if (!transfer.finalReply->isCompletion())
        return fail(QStringLiteral("%1: %2").arg(transfer.command, replyText(*transfer.finalReply)), transfer.finalReply->code);
    return true;
}

bool FtpProtocol::receive(Transfer& transfer, const Sink& sink, std::optional<qint64> namedSize)
{
    // Large blocks: a fast link delivers megabytes between two looks at the socket.
    constexpr qsizetype receiveBlock = 1024 * 1024;
    QByteArray buffer(receiveBlock, Qt::Uninitialized);
    qint64 total = 0;
    while (transfer.data && transfer.data->isOpen()) {
        DataConnection::Event event = DataConnection::Event::Done;
        ControlConnection* watch = transfer.finalReply ? nullptr : &m_control;
        const qint64 received = transfer.data->read(buffer.data(), buffer.size(), watch, event);
        if (received > 0) {
            total += received;
            QString error;
            if (!sink(buffer.constData(), received, error)) {
                abortTransfer(transfer);
                return fail(QStringLiteral("%1: %2").arg(transfer.command, error));
            }
            continue;
        }
        if (event == DataConnection::Event::EndOfData) {
            // Servers that never send close_notify exist; their transfers count where the size
            // they named came in full.
            if (transfer.data->endConfirmed() || (namedSize && *namedSize == total))
                break;
            abortTransfer(transfer);
            return fail(QStringLiteral("%1: the data connection ended without TLS's close_notify after %2 bytes; "
                                       "it may have been cut off").arg(transfer.command).arg(total));
        }
        if (event == DataConnection::Event::ControlReady) {
            if (!takeMidTransferReply(transfer))
                return false;
            continue;
        }
        const QString reason = transfer.data->errorText();
        transfer.data->abort();
        dropConnection(); // a stalled or cancelled transfer leaves the control connection out of step
        return fail(QStringLiteral("%1: %2").arg(transfer.command, reason));
    }
    if (transfer.data)
        transfer.data->finish(nullptr); // nothing left to send: this does not wait
    // 226 counts only now that the data connection has ended: a server may send it while the
    // last bytes are still in flight.
    return readFinalReply(transfer);
}

bool FtpProtocol::send(Transfer& transfer, const char* data, qint64 size)
{
    if (!transfer.data || !transfer.data->isOpen())
        return fail(QStringLiteral("%1: the data connection is closed").arg(transfer.command));
    DataConnection::Event event = DataConnection::Event::Done;
    qint64 written = 0;
    while (!transfer.data->writeAll(data, size, written, &m_control, event)) {
        if (event == DataConnection::Event::ControlReady) {
            // Anything but a preliminary reply in the middle of an upload ends it.
            if (!takeMidTransferReply(transfer))
                return false;
            if (transfer.finalReply)
                return failEndedEarly(transfer);
            continue;
        }
        const QString reason = transfer.data->errorText();
        transfer.data->abort();
        if (event == DataConnection::Event::Failed && !m_policy.isCancelled()) {
            // The server reset the data connection; its reply says why.
            readFinalReply(transfer);
            return fail(QStringLiteral("%1: %2").arg(transfer.command, transfer.finalReply ? replyText(*transfer.finalReply) : reason),
                        transfer.finalReply ? transfer.finalReply->code : 0);
        }
        dropConnection();
        return fail(QStringLiteral("%1: %2").arg(transfer.command, reason));
    }
    return true;
}

bool FtpProtocol::failEndedEarly(Transfer& transfer)
{
    abortTransfer(transfer);
    return fail(QStringLiteral("%1: the server ended the transfer early: %2").arg(transfer.command, replyText(*transfer.finalReply)),
                transfer.finalReply->code);
}

bool FtpProtocol::finishSending(Transfer& transfer)
{
    // The server cannot know that the upload is complete before its end went out: a final reply
    // that came earlier (to the command itself, or while the data was sent) is not about all of it.
    if (transfer.finalReply)
        return failEndedEarly(transfer);
    if (transfer.data) {
        // Plain, this returns at once; TLS may have the last bytes and its close_notify to send.
        DataConnection::Event event = transfer.data->finish(&m_control);
        while (event == DataConnection::Event::ControlReady) {
            const bool ended = transfer.data->outputEnded();
            if (!takeMidTransferReply(transfer))
                return false;
            if (transfer.finalReply && !ended)
                return failEndedEarly(transfer);
            event = transfer.data->finish(transfer.finalReply ? nullptr : &m_control);
        }
        if (event != DataConnection::Event::Done) {
            const QString reason = transfer.data->errorText();
            transfer.data->abort();
            dropConnection();
            return fail(QStringLiteral("%1: %2").arg(transfer.command, reason));
        }
    }
    return readFinalReply(transfer);
}

void FtpProtocol::abortTransfer(Transfer& transfer)
{
    if (transfer.data)
        transfer.data->abort();
    if (!isConnected())
        return;
    const QString kept = m_lastError;
    const int keptCode = m_failureCode;
    // The server answers the broken transfer; that reply must not be taken for the next command's.
    // Some servers never answer a reset data connection: then the connection goes, rather than
    // the job waiting out the idle time-out or a late reply being taken for another command's.
    readFinalReply(transfer, std::min(m_policy.idleTimeout(), abortReplyMilliseconds));
    m_lastError = kept;
    m_failureCode = keptCode;
}
