#pragma once

#include "PeerIdentity.h"

#include <QString>

class QWidget;

// The question about a server whose identity nothing vouches for. For a certificate the system
// does not accept: the server, why, what the certificate says (subject, issuer, validity, SHA-256
// fingerprint) and, when a certificate the user trusted before was replaced, a warning that names
// the old fingerprint. For an SSH host key the known-hosts file does not hold: the server, the
// key type and its fingerprint, with a warning when the file holds another key for the server.
// Trust always, trust this time, or cancel.
TrustDecision askAboutPeerIdentity(const PeerIdentity& identity, QWidget* parent);

// The text of that question, in the chosen language.
QString peerIdentityQuestionText(const PeerIdentity& identity);
QString certificateQuestionText(const CertificateInfo& info);
QString hostKeyQuestionText(const HostKeyInfo& info);
