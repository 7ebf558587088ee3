#include "CertificateQuestion.h"

#include "Prompter.h"
#include "TextCatalogue.h"

#include <QLocale>

namespace {

const char* problemKey(CertificateProblem problem)
{
    switch (problem) {
    case CertificateProblem::SelfSigned:
        return "CERT_SELFSIGNED";
    case CertificateProblem::Untrusted:
        return "CERT_UNTRUSTED";
    case CertificateProblem::Expired:
        return "CERT_EXPIRED";
    case CertificateProblem::NotYetValid:
        return "CERT_NOTYETVALID";
    case CertificateProblem::HostNameMismatch:
        return "CERT_HOSTNAME";
    case CertificateProblem::Other:
        break;
    }
    return "CERT_OTHER";
}

// The identity's fields are the server's words: a line break or a direction mark in them must
// not add lines to the question or turn its text around, so control characters show as escapes.
QString visible(const QString& field)
{
    QString shown;
    for (const QChar c : field) {
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            shown += c == u'\n' ? QStringLiteral("\\n")
                   : c == u'\r' ? QStringLiteral("\\r")
                                : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            break;
        default:
            shown += c;
        }
    }
    return shown;
}

} // namespace

QString certificateQuestionText(const CertificateInfo& info)
{
    const QLocale locale;
    QStringList reasons;
    for (const CertificateProblem problem : info.problems)
        reasons.append(getText(problemKey(problem)));
    QStringList lines;
    if (info.changed)
        lines << getText("CERT_CHANGED").arg(CertificateInfo::formatFingerprint(info.storedSha256)) << QString();
    lines << getText("CERT_QUESTION").arg(visible(info.host) + QLatin1Char(':') + QString::number(info.port))
          << getText("CERT_REASON") + QLatin1Char(' ') + reasons.join(QStringLiteral("; ")) << QString()
          << getText("CERT_SUBJECT") + QLatin1Char(' ') + visible(info.subject)
          << getText("CERT_ISSUER") + QLatin1Char(' ') + visible(info.issuer)
          << getText("CERT_VALID").arg(locale.toString(info.validFrom, QLocale::ShortFormat),
                                       locale.toString(info.validUntil, QLocale::ShortFormat))
          << getText("CERT_FINGERPRINT") + QLatin1Char(' ') + info.fingerprint();
    return lines.join(QLatin1Char('\n'));
}

QString hostKeyQuestionText(const HostKeyInfo& info)
{
    QStringList lines;
    if (info.changed) {
        lines << getText("HOSTKEY_CHANGED");
        if (!info.storedFingerprint.isEmpty())
            lines << getText("HOSTKEY_STORED").arg(visible(info.storedFingerprint));
        lines << QString();
    }
    lines << getText("HOSTKEY_QUESTION").arg(visible(info.host) + QLatin1Char(':') + QString::number(info.port))
          << QString() << getText("HOSTKEY_TYPE") + QLatin1Char(' ') + visible(info.keyType)
          << getText("HOSTKEY_FINGERPRINT") + QLatin1Char(' ') + visible(info.fingerprint);
    return lines.join(QLatin1Char('\n'));
}

QString peerIdentityQuestionText(const PeerIdentity& identity)
{
    return identity.certificate() ? certificateQuestionText(*identity.certificate())
                                  : hostKeyQuestionText(*identity.hostKey());
}

TrustDecision askAboutPeerIdentity(const PeerIdentity& identity, QWidget* parent)
{
    const char* title = identity.certificate() ? "CERT_TITLE" : "HOSTKEY_TITLE";
    MessageRequest request{peerIdentityQuestionText(identity),
                           identity.changed() ? PromptIcon::Critical : PromptIcon::Exclamation,
                           PromptButtons::ThreeChoices, withoutMnemonic(getText(title)),
                           {getText("CERT_ALWAYS"), getText("CERT_ONCE"), getText("CERT_CANCEL")}};
    switch (Prompter::current().message(request, parent)) {
    case PromptAnswer::First:
        return TrustDecision::Always;
    case PromptAnswer::Second:
        return TrustDecision::Once;
    default:
        return TrustDecision::Cancel;
    }
}
