#pragma once

#include "CertificateInfo.h"

#include <QString>

class QWidget;

// The question about a server certificate the system does not accept: the server, why, what the
// certificate says (subject, issuer, validity, SHA-256 fingerprint) and, when a certificate the
// user trusted before was replaced, a warning that names the old fingerprint. Trust always, trust
// this time, or cancel.
TrustDecision askAboutCertificate(const CertificateInfo& info, QWidget* parent);

// The text of that question, in the chosen language.
QString certificateQuestionText(const CertificateInfo& info);
