#include "ProtocolSwitch.h"

#include "UnavailableSession.h"

ProtocolSwitch::ProtocolSwitch(SessionFactory factory)
    : m_factory(std::move(factory))
{
    make(Protocol::Ftp);
}

ProtocolSwitch::~ProtocolSwitch() = default;

void ProtocolSwitch::make(Protocol protocol)
{
    if (m_session)
        m_session->closeConnection();
    m_session.reset(); // the old connection is gone before the new one is made
    m_protocol = protocol;
    m_session = m_factory ? m_factory(protocol) : nullptr;
    if (!m_session)
        m_session = std::make_unique<UnavailableSession>(QStringLiteral("no session for this protocol"));
    m_session->setCancelFlag(m_cancelled);
    if (m_timeouts)
        m_session->setTimeouts(m_timeouts->first, m_timeouts->second);
    if (m_transcript)
        m_session->setTranscript(m_transcript);
    if (m_question)
        m_session->setPeerIdentityQuestion(m_question);
    if (m_inputQuestion)
        m_session->setInputQuestion(m_inputQuestion);
}

bool ProtocolSwitch::openConnection(const ConnectionSettings& settings)
{
    if (settings.protocol != m_protocol)
        make(settings.protocol);
    return m_session->openConnection(settings);
}

bool ProtocolSwitch::connectedWith(const ConnectionSettings& settings) const
{
    return settings.protocol == m_protocol && m_session->connectedWith(settings);
}

void ProtocolSwitch::setPeerIdentityQuestion(PeerIdentityQuestion question)
{
    m_question = question;
    m_session->setPeerIdentityQuestion(std::move(question));
}

void ProtocolSwitch::setInputQuestion(InputQuestion question)
{
    m_inputQuestion = question;
    m_session->setInputQuestion(std::move(question));
}

void ProtocolSwitch::setTranscript(std::function<void(const QString& line)> transcript)
{
    m_transcript = transcript;
    m_session->setTranscript(std::move(transcript));
}

void ProtocolSwitch::setCancelFlag(const std::atomic<bool>* cancelled)
{
    m_cancelled = cancelled;
    m_session->setCancelFlag(cancelled);
}

void ProtocolSwitch::setTimeouts(int connectMilliseconds, int idleMilliseconds)
{
    m_timeouts = std::pair(connectMilliseconds, idleMilliseconds);
    m_session->setTimeouts(connectMilliseconds, idleMilliseconds);
}
