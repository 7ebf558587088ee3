// Times one listing through the FTP session (FtpSession::list, no widgets) and reports the
// peak memory of the process, so that the cost per entry can be read off:
//   listbench [--mlsd] [--shape=unix|names|long|bare] [--pane] ENTRIES   against a built-in loopback
//                                                        server that sends ENTRIES synthetic lines
//   listbench [--passive] --server HOST PORT USER PASS DIR   against a real server
// Shapes: "unix" is an ls -l line of about 60 bytes per file; "names" is the shortest line a parser
// reads with a one-letter name (" a" in MLSD, 4 bytes on the wire; a DOS line of 20 bytes in
// LIST), the cheapest entry a server can send; "long" is an ls -l line with a
// name of 200 characters (255 bytes a line), "bare" the same with names that have no extension
// (each name is then a type of its own). With --pane the listing goes into a remote pane (the
// job on the session thread, the rows on this one, offscreen) and "longest-stall-ms" says how long
// this thread went without handling an event: how long the window froze. The last line is
// "entries=N seconds=S peak-rss-mib=M bytes-per-entry=B" (B from the growth of the peak).
#include "FtpSession.h"
#include "JobContext.h"
#include "RemoteIconStore.h"
#include "RemotePane.h"
#include "SessionMaker.h"
#include "SessionRunner.h"

#include <QByteArray>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

// VmHWM of /proc/self/status: the largest resident size so far, in KiB.
qint64 peakResidentKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

int listenOnLoopback(quint16& port)
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(descriptor, 4) != 0)
        return -1;
    ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return descriptor;
}

bool sendAll(int descriptor, const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(descriptor, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (count <= 0)
            return false;
        sent += count;
    }
    return true;
}

// Just enough FTP for one login and one listing; the lines are made as they are sent, so the
// server's own memory stays small.
class SyntheticServer
{
public:
    enum class Shape { Unix, Names, Long, Bare };

    SyntheticServer(qint64 entries, bool mlsd, Shape shape)
        : m_entries(entries), m_mlsd(mlsd), m_shape(shape)
    {
        m_listener = listenOnLoopback(m_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~SyntheticServer()
    {
        m_thread.join();
        ::close(m_listener);
    }
    quint16 port() const { return m_port; }

private:
    QByteArray line(qint64 index) const
    {
        if (m_shape == Shape::Names)
            return (m_mlsd ? " " : "01-01-20 00:00 1 ") + QByteArray(1, static_cast<char>('a' + index % 26)) + "\r\n";
        QByteArray name = "file-" + QByteArray::number(index).rightJustified(7, '0') + ".bin";
        if (m_shape == Shape::Long)
            name = name.rightJustified(200, 'n');
        else if (m_shape == Shape::Bare)
            name = QByteArray::number(index).rightJustified(200, 'n');
        if (m_mlsd)
            return "type=file;size=4096;modify=20050305140700; " + name + "\r\n";
        return "-rw-r--r--    1 ftp      ftp          4096 Mar 05 14:07 " + name + "\r\n";
    }

    void serve()
    {
        const int control = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (control < 0)
            return;
        sendAll(control, "220 synthetic\r\n");
        QByteArray buffer;
        int dataListener = -1;
        char chunk[4096];
        for (;;) {
            const qsizetype end = buffer.indexOf("\r\n");
            if (end < 0) {
                const ssize_t count = ::recv(control, chunk, sizeof chunk, 0);
                if (count <= 0)
                    break;
                buffer.append(chunk, count);
                continue;
            }
            const QByteArray command = buffer.left(end).toUpper();
            buffer.remove(0, end + 2);
            if (command.startsWith("USER")) {
                sendAll(control, "331 password\r\n");
            } else if (command.startsWith("FEAT")) {
                sendAll(control, m_mlsd ? "211-Features:\r\n MLSD\r\n211 End\r\n" : "211-Features:\r\n SIZE\r\n211 End\r\n");
            } else if (command.startsWith("EPSV")) {
                quint16 dataPort = 0;
                dataListener = listenOnLoopback(dataPort);
                sendAll(control, "229 Entering Extended Passive Mode (|||" + QByteArray::number(dataPort) + "|)\r\n");
            } else if (command.startsWith("LIST") || command.startsWith("MLSD")) {
                sendAll(control, "150 here it comes\r\n");
                const int data = ::accept4(dataListener, nullptr, nullptr, SOCK_CLOEXEC);
                QByteArray block;
                for (qint64 i = 0; i < m_entries && data >= 0; ++i) {
                    block += line(i);
                    if (block.size() >= 64 * 1024 || i + 1 == m_entries) {
                        if (!sendAll(data, block))
                            break;
                        block.clear();
                    }
                }
                ::close(data);
                ::close(dataListener);
                sendAll(control, "226 done\r\n");
            } else if (command.startsWith("PWD")) {
                sendAll(control, "257 \"/\"\r\n");
            } else if (command.startsWith("QUIT")) {
                break;
            } else {
                sendAll(control, command.startsWith("PASS") ? "230 in\r\n" : "200 ok\r\n");
            }
        }
        ::close(control);
    }

    qint64 m_entries;
    bool m_mlsd;
    Shape m_shape;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

int usage()
{
    QTextStream(stderr) << "usage: listbench [--mlsd] [--shape=unix|names|long|bare] [--pane] ENTRIES\n"
                           "       listbench [--passive] --server HOST PORT USER PASS DIR\n";
    return 2;
}

QString summary(qsizetype count, qint64 nanoseconds, qint64 before, qint64 peak)
{
    return QStringLiteral("entries=%1 seconds=%2 peak-rss-mib=%3 bytes-per-entry=%4")
        .arg(count)
        .arg(static_cast<double>(nanoseconds) / 1e9, 0, 'f', 3)
        .arg(static_cast<double>(peak) / 1024, 0, 'f', 1)
        .arg(count > 0 ? (peak - before) * 1024 / count : 0);
}

// The listing into a remote pane, as the program shows it.
int listIntoPane(const ConnectionSettings& settings, const QString& folder)
{
    SessionRunner runner(makeSession);
    RemoteIconStore icons;
    RemotePane pane(runner, icons);
    pane.resize(1000, 700);
    pane.show();
    QObject::connect(&runner, &JobRunner::historyLine,
                     [](const QString& text, HistoryColour) { QTextStream(stderr) << "history: " << text << '\n'; });
    runner.start([settings, folder](JobContext& context) {
        if (context.session().openConnection(settings) && !folder.isEmpty())
            context.session().setDir(folder);
    });
    const qint64 before = peakResidentKib();
    // The longest time between two ticks of a 10 ms timer: how long the window froze.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
    QElapsedTimer timer;
    timer.start();
    sinceTick.start();
    ticker.start(10);
    QEventLoop loop;
    QObject::connect(&pane, &RemotePane::listingFinished, &loop, &QEventLoop::quit);
    pane.refreshRemote(true);
    loop.exec();
    QCoreApplication::processEvents(); // the views lay the rows out: part of the listing
    longestStall = std::max(longestStall, sinceTick.elapsed());
    const qint64 nanoseconds = timer.nsecsElapsed();
    const qsizetype count = pane.rows().size() - 1; // without ".."
    QTextStream(stdout) << "longest-stall-ms=" << longestStall << '\n'
                        << summary(count, nanoseconds, before, peakResidentKib()) << '\n';
    return count > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool mlsd = arguments.removeAll(QStringLiteral("--mlsd")) > 0;
    using Shape = SyntheticServer::Shape;
    Shape shape = Shape::Unix;
    const std::pair<const char*, Shape> shapes[] = {{"names", Shape::Names}, {"long", Shape::Long}, {"bare", Shape::Bare}};
    for (const auto& [name, named] : shapes) {
        if (arguments.removeAll(QStringLiteral("--shape=") + QLatin1String(name)) > 0)
            shape = named;
    }
    arguments.removeAll(QStringLiteral("--shape=unix"));
    const bool passive = arguments.removeAll(QStringLiteral("--passive")) > 0;
    const bool intoPane = arguments.removeAll(QStringLiteral("--pane")) > 0;
    // The built-in server offers only passive data connections.
    ConnectionSettings settings{.host = QStringLiteral("127.0.0.1"), .port = {}, .user = QStringLiteral("u"), .password = QStringLiteral("p"),
                                .ftp = {.passive = true}};
    QString folder;
    std::unique_ptr<SyntheticServer> server;
    if (arguments.size() == 6 && arguments.first() == QLatin1String("--server")) {
        settings = {.host = arguments[1], .port = arguments[2], .user = arguments[3], .password = arguments[4],
                    .ftp = {.passive = passive}};
        folder = arguments[5];
    } else if (arguments.size() == 1) {
        bool ok = false;
        const qint64 entries = arguments.first().toLongLong(&ok);
        if (!ok || entries < 0)
            return usage();
        server = std::make_unique<SyntheticServer>(entries, mlsd, shape);
        settings.port = QString::number(server->port());
    } else {
        return usage();
    }

    if (intoPane)
        return listIntoPane(settings, folder);
    QTextStream out(stdout);
    FtpSession session;
    if (!session.openConnection(settings) || (!folder.isEmpty() && !session.setDir(folder))) {
        QTextStream(stderr) << "listbench: " << session.lastError() << '\n';
        return 1;
    }
    const qint64 before = peakResidentKib();
    QElapsedTimer timer;
    timer.start();
    const auto entries = session.list();
    const qint64 nanoseconds = timer.nsecsElapsed();
    const qint64 peak = peakResidentKib();
    if (!entries)
        out << "listing failed: " << session.lastError() << '\n';
    const qsizetype count = entries ? entries->size() : 0;
    session.closeConnection();
    out << summary(count, nanoseconds, before, peak) << '\n';
    return entries ? 0 : 1;
}
