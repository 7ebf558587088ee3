#include "SshTransport.h"

#include "KnownHosts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <libssh/libssh.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int sliceMilliseconds = 50;

// Methods offered in the key exchange. Left out: chacha20-poly1305 and the encrypt-then-MAC modes,
// which the prefix truncation attack on SSH (Terrapin, CVE-2023-48795) reaches when the server
// does not do the strict key exchange. libssh 0.10.6 does it (it sends kex-strict-c-v00@openssh.com
// with every key exchange list), so with current servers this only costs nothing: AES-GCM is as
// fast or faster wherever AES has hardware support, and every OpenSSH since 6.2 offers it.
// Key exchanges are libssh's defaults (curve25519-sha256, ecdh-sha2-nistp256/384/521,
// diffie-hellman-group18-sha512, -group16-sha512, -group14-sha256): none is reached by it.
constexpr const char* ciphers = "aes128-gcm@openssh.com,aes256-gcm@openssh.com,aes128-ctr,aes192-ctr,aes256-ctr";
constexpr const char* macs = "hmac-sha2-256,hmac-sha2-512";
// libssh's host-key algorithms, in its order; the types the known-hosts file holds go first.
constexpr const char* hostKeyAlgorithms[] = {"ssh-ed25519", "ecdsa-sha2-nistp521", "ecdsa-sha2-nistp384",
                                             "ecdsa-sha2-nistp256", "rsa-sha2-512", "rsa-sha2-256"};
constexpr const char* defaultKeyFiles[] = {"id_ed25519", "id_ecdsa", "id_rsa"};
constexpr int passphraseAttempts = 3;

bool isCancelled(const std::atomic<bool>* cancel)
{
    return cancel && cancel->load();
}

QString hostKeyPreference(const QStringList& knownTypes)
{
    QStringList first;
    QStringList rest;
    for (const char* algorithm : hostKeyAlgorithms) {
        const QString name = QString::fromLatin1(algorithm);
        const QString type = name.startsWith(QLatin1String("rsa-sha2")) ? QStringLiteral("ssh-rsa") : name;
        (knownTypes.contains(type) ? first : rest).append(name);
    }
    return (first + rest).join(QLatin1Char(','));
}

// The key type a key blob starts with.
QString typeOfBlob(const QByteArray& blob)
{
    if (blob.size() < 4)
        return {};
    const quint32 length = qFromBigEndian<quint32>(blob.constData());
    if (length > static_cast<quint32>(blob.size() - 4))
        return {};
    return QString::fromLatin1(blob.mid(4, static_cast<qsizetype>(length)));
}

QStringList methodNames(unsigned methods)
{
    QStringList names;
    if (methods & SSH_AUTH_METHOD_PUBLICKEY)
        names << QStringLiteral("publickey");
    if (methods & SSH_AUTH_METHOD_PASSWORD)
        names << QStringLiteral("password");
    if (methods & SSH_AUTH_METHOD_INTERACTIVE)
        names << QStringLiteral("keyboard-interactive");
    if (methods & SSH_AUTH_METHOD_HOSTBASED)
        names << QStringLiteral("hostbased");
    if (methods & SSH_AUTH_METHOD_GSSAPI_MIC)
        names << QStringLiteral("gssapi-with-mic");
    return names;
}

// A key handle that frees itself.
struct KeyDeleter {
    void operator()(ssh_key key) const { ssh_key_free(key); }
};
using Key = std::unique_ptr<ssh_key_struct, KeyDeleter>;

Key importPublicKey(const QString& path)
{
    ssh_key key = nullptr;
    if (ssh_pki_import_pubkey_file(QFile::encodeName(path).constData(), &key) != SSH_OK)
        return nullptr;
    return Key(key);
}

Key importPrivateKey(const QString& path, const QByteArray* passphrase)
{
    ssh_key key = nullptr;
    if (ssh_pki_import_privkey_file(QFile::encodeName(path).constData(), passphrase ? passphrase->constData() : nullptr,
                                    nullptr, nullptr, &key) != SSH_OK)
        return nullptr;
    return Key(key);
}

} // namespace

SshTransport::SshTransport() = default;

SshTransport::~SshTransport()
{
    close();
}

void SshTransport::close()
{
    if (m_channel) {
        ssh_channel_free(m_channel);
        m_channel = nullptr;
    }
    if (m_session) {
        // libssh leaves a socket handed to it open (ssh_disconnect lets go of it): it is ours to close.
        ssh_disconnect(m_session);
        ssh_free(m_session);
        m_session = nullptr;
    }
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

void SshTransport::setIdleTimeout(int milliseconds)
{
    m_idleMilliseconds = milliseconds;
    m_idleDeadline.setRemainingTime(milliseconds);
}

SftpStatus SshTransport::sshFailure(SftpStatus::Code code, const QString& what) const
{
    const char* text = m_session ? ssh_get_error(m_session) : nullptr;
    return SftpStatus::failure(code, text && *text ? QStringLiteral("%1: %2").arg(what, QString::fromUtf8(text)) : what);
}

SftpStatus SshTransport::waitSocket(const QDeadlineTimer& deadline, const QString& what)
{
    if (isCancelled(m_cancel))
        return SftpStatus::failure(SftpStatus::Code::Cancelled, QStringLiteral("cancelled"));
    if (deadline.hasExpired())
        return SftpStatus::failure(SftpStatus::Code::TimedOut, QStringLiteral("%1 timed out").arg(what));
    pollfd descriptor{m_socket, POLLIN, 0};
    if (m_session && (ssh_get_poll_flags(m_session) & SSH_WRITE_PENDING))
        descriptor.events |= POLLOUT;
    const int wait = static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, sliceMilliseconds));
    if (::poll(&descriptor, 1, wait) < 0 && errno != EINTR)
        return SftpStatus::failure(SftpStatus::Code::ConnectionLost, QString::fromLocal8Bit(std::strerror(errno)));
    if (m_session && (descriptor.revents & POLLOUT))
        ssh_blocking_flush(m_session, 0);
    return {};
}

template <typename Call>
int SshTransport::repeat(Call call, int again, const QDeadlineTimer& deadline, const QString& what, SftpStatus& status)
{
    for (;;) {
        const int result = call();
        if (result != again)
            return result;
        status = waitSocket(deadline, what);
        if (!status)
            return again;
    }
}

SftpStatus SshTransport::connectSocket(const SftpConnectOptions& options, const QDeadlineTimer& deadline)
{
    QString name = options.host.trimmed();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    if (name.isEmpty())
        return SftpStatus::failure(SftpStatus::Code::ConnectionLost, QStringLiteral("no server address"));

    // The lookup blocks in the resolver; it runs on a thread of its own so that this one can watch
    // the cancel flag. A lookup given up on finishes there and is thrown away.
    struct Lookup {
        addrinfo* found = nullptr;
        int result = 0;
        ~Lookup() { if (found) ::freeaddrinfo(found); }
    };
    auto lookup = std::make_shared<std::promise<std::shared_ptr<Lookup>>>();
    std::future<std::shared_ptr<Lookup>> answer = lookup->get_future();
    std::thread([lookup, host = name.toUtf8(), port = QByteArray::number(options.port)] {
        auto result = std::make_shared<Lookup>();
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_ADDRCONFIG;
        result->result = ::getaddrinfo(host.constData(), port.constData(), &hints, &result->found);
        lookup->set_value(result);
    }).detach();
    while (answer.wait_for(std::chrono::milliseconds(sliceMilliseconds)) != std::future_status::ready) {
        if (isCancelled(m_cancel))
            return SftpStatus::failure(SftpStatus::Code::Cancelled, QStringLiteral("cancelled"));
        if (deadline.hasExpired())
            return SftpStatus::failure(SftpStatus::Code::TimedOut, QStringLiteral("looking up %1 timed out").arg(name));
    }
    const std::shared_ptr<Lookup> found = answer.get();
    if (found->result != 0 || !found->found)
        return SftpStatus::failure(SftpStatus::Code::ConnectionLost,
                                   QStringLiteral("cannot find server %1: %2").arg(name, QString::fromLocal8Bit(::gai_strerror(found->result))));

    QString lastError;
    for (addrinfo* address = found->found; address; address = address->ai_next) {
        m_socket = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
        if (m_socket < 0)
            continue;
        int error = ::connect(m_socket, address->ai_addr, address->ai_addrlen) == 0 ? 0 : errno;
        while (error == EINPROGRESS) {
            if (isCancelled(m_cancel) || deadline.hasExpired())
                break;
            pollfd descriptor{m_socket, POLLOUT, 0};
            if (::poll(&descriptor, 1, sliceMilliseconds) > 0) {
                socklen_t length = sizeof error;
                ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length);
            }
        }
        if (error == 0)
            return {};
        lastError = QString::fromLocal8Bit(std::strerror(error == EINPROGRESS ? ETIMEDOUT : error));
        ::close(m_socket);
        m_socket = -1;
        if (isCancelled(m_cancel))
            return SftpStatus::failure(SftpStatus::Code::Cancelled, QStringLiteral("cancelled"));
    }
    return SftpStatus::failure(deadline.hasExpired() ? SftpStatus::Code::TimedOut : SftpStatus::Code::ConnectionLost,
                               QStringLiteral("cannot connect to %1 port %2: %3").arg(name).arg(options.port).arg(lastError));
}

SftpStatus SshTransport::open(const SftpConnectOptions& options)
{
    close();
    m_cancel = options.cancel;
    m_idleMilliseconds = options.idleTimeoutMilliseconds;
    m_hostKey = {};
    m_knownState = KnownHostState::Unknown;
    m_authMethod = SshAuthMethod::None;
    m_authKeyFile.clear();
    m_offered.clear();
    const QDeadlineTimer deadline(options.connectTimeoutMilliseconds);

    SftpStatus status = connectSocket(options, deadline);
    if (!status)
        return status;

    m_session = ssh_new();
    if (!m_session)
        return SftpStatus::failure(SftpStatus::Code::LocalError, QStringLiteral("cannot create an SSH session"));
    const QString sshFolder = options.sshFolder.isEmpty() ? QDir::homePath() + QStringLiteral("/.ssh") : options.sshFolder;
    const KnownHosts knownHosts(sshFolder + QStringLiteral("/known_hosts"));
    const QByteArray host = options.host.trimmed().toUtf8();
    const unsigned int port = options.port;
    const int yes = 1;
    const bool no = false;
    const QByteArray hostKeys = hostKeyPreference(knownHosts.knownTypes(options.host, options.port)).toLatin1();
    // The configuration files of ssh are not read: what they could change (host, port, user, keys,
    // algorithms) is what this connection was asked for.
    bool set = ssh_options_set(m_session, SSH_OPTIONS_PROCESS_CONFIG, &no) == SSH_OK
        && ssh_options_set(m_session, SSH_OPTIONS_HOST, host.constData()) == SSH_OK
        && ssh_options_set(m_session, SSH_OPTIONS_PORT, &port) == SSH_OK
        && ssh_options_set(m_session, SSH_OPTIONS_FD, &m_socket) == SSH_OK
        && ssh_options_set(m_session, SSH_OPTIONS_NODELAY, &yes) == SSH_OK
        && ssh_options_set(m_session, SSH_OPTIONS_CIPHERS_C_S, ciphers) == SSH_OK
        && ssh_options_set(m_session, SSH_OPTIONS_CIPHERS_S_C, ciphers) == SSH_OK
        && ssh_options_set(m_session, SSH_OPTIONS_HMAC_C_S, macs) == SSH_OK
        && ssh_options_set(m_session, SSH_OPTIONS_HMAC_S_C, macs) == SSH_OK
        && ssh_options_set(m_session, SSH_OPTIONS_HOSTKEYS, hostKeys.constData()) == SSH_OK;
    if (set && !options.user.isEmpty())
        set = ssh_options_set(m_session, SSH_OPTIONS_USER, options.user.toUtf8().constData()) == SSH_OK;
    if (!set)
        return sshFailure(SftpStatus::Code::LocalError, QStringLiteral("cannot set up the SSH session"));
    ssh_set_blocking(m_session, 0);

    const int connected = repeat([this] { return ssh_connect(m_session); }, SSH_AGAIN, deadline,
                                 QStringLiteral("the key exchange"), status);
    if (!status)
        return status;
    if (connected != SSH_OK)
        return sshFailure(SftpStatus::Code::ConnectionLost, QStringLiteral("the key exchange failed"));

    ssh_key key = nullptr;
    char* base64 = nullptr;
    if (ssh_get_server_publickey(m_session, &key) != SSH_OK || ssh_pki_export_pubkey_base64(key, &base64) != SSH_OK) {
        ssh_key_free(key);
        return sshFailure(SftpStatus::Code::ProtocolError, QStringLiteral("the server sent no usable host key"));
    }
    m_hostKey.blob = QByteArray::fromBase64(base64);
    m_hostKey.type = typeOfBlob(m_hostKey.blob);
    ssh_string_free_char(base64);
    ssh_key_free(key);

    m_knownState = knownHosts.check(options.host, options.port, m_hostKey);
    if (m_knownState != KnownHostState::Known) {
        const HostKeyTrust trust = options.askHostKey ? options.askHostKey(m_hostKey, m_knownState) : HostKeyTrust::Cancel;
        if (trust == HostKeyTrust::Cancel)
            return SftpStatus::failure(SftpStatus::Code::HostKeyRefused,
                                       m_knownState == KnownHostState::Changed
                                           ? QStringLiteral("the host key of %1 has changed (%2 %3); not accepted").arg(options.host, m_hostKey.type, m_hostKey.fingerprint())
                                           : QStringLiteral("the host key of %1 is unknown (%2 %3); not accepted").arg(options.host, m_hostKey.type, m_hostKey.fingerprint()));
        if (trust == HostKeyTrust::Always && !(status = knownHosts.add(options.host, options.port, m_hostKey)))
            return status;
    }

    if (!(status = logIn(options, deadline)))
        return status;
    return openChannel(deadline);
}

SftpStatus SshTransport::logIn(const SftpConnectOptions& options, const QDeadlineTimer& deadline)
{
    SftpStatus status;
    const QString logInWait = QStringLiteral("the log-in");
    int result = repeat([this] { return ssh_userauth_none(m_session, nullptr); }, SSH_AUTH_AGAIN, deadline, logInWait, status);
    if (!status)
        return status;
    if (result == SSH_AUTH_SUCCESS)
        return {};
    if (result == SSH_AUTH_ERROR)
        return sshFailure(SftpStatus::Code::ConnectionLost, QStringLiteral("the log-in failed"));
    auto offered = [this] {
        const auto methods = static_cast<unsigned>(ssh_userauth_list(m_session, nullptr));
        m_offered = methodNames(methods);
        return methods;
    };

    if ((offered() & SSH_AUTH_METHOD_PUBLICKEY) && options.useAgent && qEnvironmentVariableIsSet("SSH_AUTH_SOCK")) {
        result = repeat([this] { return ssh_userauth_agent(m_session, nullptr); }, SSH_AUTH_AGAIN, deadline, logInWait, status);
        if (!status)
            return status;
        if (result == SSH_AUTH_SUCCESS) {
            m_authMethod = SshAuthMethod::Agent;
            return {};
        }
    }

    const QString sshFolder = options.sshFolder.isEmpty() ? QDir::homePath() + QStringLiteral("/.ssh") : options.sshFolder;
    QStringList keyFiles = options.keyFiles;
    if (keyFiles.isEmpty()) {
        for (const char* name : defaultKeyFiles)
            keyFiles.append(sshFolder + QLatin1Char('/') + QLatin1String(name));
    }
    for (const QString& path : std::as_const(keyFiles)) {
        if (!(offered() & SSH_AUTH_METHOD_PUBLICKEY))
            break;
        if (QFileInfo::exists(path) && tryKeyFile(options, path, deadline, status)) {
            m_authMethod = SshAuthMethod::KeyFile;
            m_authKeyFile = path;
            return {};
        }
        if (!status)
            return status;
    }

    const QByteArray password = options.password.toUtf8();
    if (!password.isEmpty() && (offered() & SSH_AUTH_METHOD_PASSWORD)) {
        result = repeat([&] { return ssh_userauth_password(m_session, nullptr, password.constData()); }, SSH_AUTH_AGAIN,
                        deadline, logInWait, status);
        if (!status)
            return status;
        if (result == SSH_AUTH_SUCCESS) {
            m_authMethod = SshAuthMethod::Password;
            return {};
        }
    }

    // Keyboard-interactive, answered with the password: the first round of prompts gets it, a
    // second round means it was not taken. Rounds without prompts are passed through, a few.
    if (!password.isEmpty() && (offered() & SSH_AUTH_METHOD_INTERACTIVE)) {
        bool answered = false;
        for (int round = 0; round < 10; ++round) {
            result = repeat([this] { return ssh_userauth_kbdint(m_session, nullptr, nullptr); }, SSH_AUTH_AGAIN, deadline,
                            logInWait, status);
            if (!status)
                return status;
            if (result != SSH_AUTH_INFO)
                break;
            const int prompts = ssh_userauth_kbdint_getnprompts(m_session);
            if (prompts > 0 && answered)
                break;
            for (int i = 0; i < prompts; ++i)
                ssh_userauth_kbdint_setanswer(m_session, static_cast<unsigned>(i), password.constData());
            answered = answered || prompts > 0;
        }
        if (result == SSH_AUTH_SUCCESS) {
            m_authMethod = SshAuthMethod::KeyboardInteractive;
            return {};
        }
    }
    offered();
    return SftpStatus::failure(SftpStatus::Code::LoginFailed,
                               QStringLiteral("the server accepted no log-in; it offers: %1").arg(m_offered.join(QStringLiteral(", "))));
}

bool SshTransport::tryKeyFile(const SftpConnectOptions& options, const QString& path, const QDeadlineTimer& deadline, SftpStatus& status)
{
    // The server is asked about the public half first, so a passphrase is only asked for a key it
    // would take.
    Key publicKey = importPublicKey(path + QStringLiteral(".pub"));
    Key privateKey;
    if (!publicKey) {
        privateKey = importPrivateKey(path, nullptr);
        ssh_key derived = nullptr;
        if (privateKey && ssh_pki_export_privkey_to_pubkey(privateKey.get(), &derived) == SSH_OK)
            publicKey.reset(derived);
    }
    if (!publicKey)
        return false;
    const int acceptable = repeat([&] { return ssh_userauth_try_publickey(m_session, nullptr, publicKey.get()); },
                                  SSH_AUTH_AGAIN, deadline, QStringLiteral("the log-in"), status);
    if (!status || acceptable != SSH_AUTH_SUCCESS)
        return false;
    if (!privateKey)
        privateKey = importPrivateKey(path, nullptr);
    for (int attempt = 0; !privateKey && attempt < passphraseAttempts && options.askPassphrase; ++attempt) {
        const std::optional<QString> passphrase = options.askPassphrase(path);
        if (!passphrase)
            return false;
        const QByteArray bytes = passphrase->toUtf8();
        privateKey = importPrivateKey(path, &bytes);
    }
    if (!privateKey)
        return false;
    return repeat([&] { return ssh_userauth_publickey(m_session, nullptr, privateKey.get()); }, SSH_AUTH_AGAIN, deadline,
                  QStringLiteral("the log-in"), status)
        == SSH_AUTH_SUCCESS;
}

SftpStatus SshTransport::openChannel(const QDeadlineTimer& deadline)
{
    m_channel = ssh_channel_new(m_session);
    if (!m_channel)
        return sshFailure(SftpStatus::Code::LocalError, QStringLiteral("cannot create an SSH channel"));
    SftpStatus status;
    int result = repeat([this] { return ssh_channel_open_session(m_channel); }, SSH_AGAIN, deadline,
                        QStringLiteral("opening a channel"), status);
    if (status && result == SSH_OK)
        result = repeat([this] { return ssh_channel_request_subsystem(m_channel, "sftp"); }, SSH_AGAIN, deadline,
                        QStringLiteral("starting SFTP"), status);
    if (!status)
        return status;
    if (result != SSH_OK)
        return sshFailure(SftpStatus::Code::ProtocolError, QStringLiteral("the server does not offer SFTP"));
    m_idleDeadline.setRemainingTime(m_idleMilliseconds);
    m_sinceWindowRaise = receiveWindow;
    return {};
}

SftpStatus SshTransport::exchange(const QByteArray& out, qsizetype& outSent, QByteArray& in, qsizetype inLimit)
{
    if (!m_channel)
        return SftpStatus::failure(SftpStatus::Code::ConnectionLost, QStringLiteral("not connected"));
    if (isCancelled(m_cancel))
        return SftpStatus::failure(SftpStatus::Code::Cancelled, QStringLiteral("cancelled"));
    bool moved = false;
    // Only as much as the server's window takes: libssh would otherwise wait for the window
    // itself, or buffer without bound. What the socket does not take at once, libssh keeps (at
    // most a window) and sends while it waits below.
    if (outSent < out.size()) {
        const qsizetype room = std::min<qsizetype>(out.size() - outSent, ssh_channel_window_size(m_channel));
        if (room > 0) {
            const int written = ssh_channel_write(m_channel, out.constData() + outSent, static_cast<uint32_t>(room));
            if (written < 0)
                return sshFailure(SftpStatus::Code::ConnectionLost, QStringLiteral("the connection broke"));
            outSent += written;
            moved = written > 0;
        }
    }
    // Reading waits inside libssh, which reads the socket and handles window and other packets
    // until channel data is there; a wait is one slice at most, so the cancel flag is seen.
    // While output waits for room, the slice is short: the room comes with packets that are not
    // channel data.
    const bool outputWaits = outSent < out.size();
    const int wait = moved ? 0 : outputWaits ? 1 : sliceMilliseconds;
    const qsizetype before = in.size();
    // libssh 0.10 keeps the receive window at 1.28 MB and has no call to set it, which caps a
    // download through a 20 ms round trip at 64 MB/s; it raises the window to what a read asks
    // for, so a large read now and then keeps it at receiveWindow.
    qsizetype room = std::max<qsizetype>(inLimit - before, 0);
    if (m_sinceWindowRaise >= receiveWindow / 4) {
        room = std::max(room, receiveWindow);
        m_sinceWindowRaise = 0;
    }
    in.resize(before + room);
    const int got = ssh_channel_read_timeout(m_channel, in.data() + before, static_cast<uint32_t>(room), 0, wait);
    in.resize(before + std::max(got, 0));
    m_sinceWindowRaise += std::max(got, 0);
    if (got < 0 && got != SSH_EOF)
        return sshFailure(SftpStatus::Code::ConnectionLost, QStringLiteral("the connection broke"));
    if (got <= 0 && ssh_channel_is_eof(m_channel))
        return SftpStatus::failure(SftpStatus::Code::ConnectionLost, QStringLiteral("the server closed the connection"));
    if (got > 0 || moved) {
        m_idleDeadline.setRemainingTime(m_idleMilliseconds);
        return {};
    }
    if (m_idleDeadline.hasExpired())
        return SftpStatus::failure(SftpStatus::Code::TimedOut, QStringLiteral("the server did not answer in time"));
    return {};
}
