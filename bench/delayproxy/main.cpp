// delayproxy: a TCP relay that makes a loopback server look distant. Every chunk read on one side
// is written to the other side DELAY milliseconds later, in each direction, so a round trip
// through it costs 2 x DELAY on top of the server's own time.
//
//   delayproxy [--ftp] LISTEN_PORT TARGET_HOST TARGET_PORT DELAY_MS
//
// LISTEN_PORT 0 picks a free port; the port listened on is printed as "port N" on standard output
// once the relay takes connections. Listens on 127.0.0.1 only.
//
// With --ftp the relay also carries FTP data connections in passive mode: a "227" or "229" reply
// from the server is rewritten to a port of the relay's own, on which the relay accepts the one
// data connection and forwards it, delayed the same way, to the port the server named. Encrypted
// control connections (AUTH TLS) cannot be rewritten, nor is active mode (PORT, EPRT) relayed.
//
// With --ftp, --cut-after BYTES resets the first data connection that carries more than BYTES (in
// either direction) once that many have passed, on both sides, as a broken link would; with
// --cut-control too the control connection it belongs to. Only one transfer is cut per run. At
// the end of every data connection the relay prints "data from-server N to-server M": the bytes
// the data connections carried so far, read from the server and written to it.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds delay{0};
std::string targetHost;
long long cutAfter = 0; // 0: nothing is cut
bool cutControl = false;
std::atomic<bool> cutDone{false};
std::atomic<long long> fromServer{0};
std::atomic<long long> toServer{0};

// Both ends of one relayed connection. An abort resets both: nothing more is passed on, and the
// sockets are closed with a reset rather than an orderly end.
struct Link {
    int client = -1;
    int server = -1;
    std::atomic<bool> aborted{false};
    std::atomic<bool> closed{false}; // its descriptors may belong to another connection now
    void abort()
    {
        if (closed)
            return;
        aborted = true;
        // Wakes the readers without sending anything; the close at the end sends the reset.
        ::shutdown(client, SHUT_RD);
        ::shutdown(server, SHUT_RD);
    }
};

// A chunk waiting for its time; an empty chunk stands for the end of the stream.
struct Chunk {
    Clock::time_point due;
    std::string bytes;
};

// Holds what one side sent until it is due on the other. The reader stops when a lot is waiting,
// so a slow receiver still slows the sender down, as it would without the relay.
class DelayQueue
{
public:
    void push(std::string bytes)
    {
        std::unique_lock lock(m_mutex);
        m_roomy.wait(lock, [this] { return m_bytes < maxWaitingBytes || m_closed; });
        m_bytes += bytes.size();
        m_chunks.push_back({Clock::now() + delay, std::move(bytes)});
        m_ready.notify_one();
    }
    // The next chunk once it is due; false when the queue was closed.
    bool pop(Chunk& chunk)
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_chunks.empty() || m_closed; });
        if (m_chunks.empty())
            return false;
        const Clock::time_point due = m_chunks.front().due;
        lock.unlock();
        std::this_thread::sleep_until(due);
        lock.lock();
        chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        m_bytes -= chunk.bytes.size();
        m_roomy.notify_one();
        return true;
    }
    void close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_ready.notify_all();
        m_roomy.notify_all();
    }

private:
    static constexpr size_t maxWaitingBytes = 64u << 20;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_roomy;
    std::deque<Chunk> m_chunks;
    size_t m_bytes = 0;
    bool m_closed = false;
};

bool writeAll(int descriptor, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::send(descriptor, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

int connectTo(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int descriptor = -1;
    for (addrinfo* address = found; address && descriptor < 0; address = address->ai_next) {
        descriptor = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (descriptor >= 0 && ::connect(descriptor, address->ai_addr, address->ai_addrlen) != 0) {
            ::close(descriptor);
            descriptor = -1;
        }
    }
    ::freeaddrinfo(found);
    return descriptor;
}

// A listening socket on 127.0.0.1; its port goes to port.
int listenOn(int wanted, int& port)
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(wanted));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(descriptor, 64) != 0
        || ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(descriptor);
        return -1;
    }
    port = ntohs(address.sin_port);
    return descriptor;
}

// Turns the server's byte stream into what the client gets; the default passes it on unchanged.
using Filter = std::function<std::string(std::string&)>;

void relay(const std::shared_ptr<Link>& link, Filter serverFilter, const std::shared_ptr<Link>& control = {});

// FTP: a passive-mode reply leads the client to a port of ours that relays to the server's port.
std::string offerDataPort(const std::shared_ptr<Link>& control, int serverPort, bool extended, const std::string& line)
{
    int port = 0;
    const int listener = listenOn(0, port);
    if (listener < 0)
        return line;
    std::thread([listener, serverPort, control] {
        const int client = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        if (client < 0)
            return;
        const int server = connectTo(targetHost, serverPort);
        if (server < 0) {
            ::close(client);
            return;
        }
        auto link = std::make_shared<Link>();
        link->client = client;
        link->server = server;
        relay(link, {}, control);
        std::printf("data from-server %lld to-server %lld\n", fromServer.load(), toServer.load());
        std::fflush(stdout);
    }).detach();
    if (!extended)
        return "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + ',' + std::to_string(port % 256)
            + ").\r\n";
    return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|).\r\n";
}

std::string rewriteFtpLine(const std::shared_ptr<Link>& control, const std::string& line)
{
    static const std::regex pasv(R"(^227 [^\d]*(\d+),(\d+),(\d+),(\d+),(\d+),(\d+).*\r?\n$)");
    static const std::regex epsv(R"(^229 .*\(\|\|\|(\d+)\|\).*\r?\n$)");
    std::smatch match;
    if (std::regex_match(line, match, pasv))
        return offerDataPort(control, std::stoi(match[5]) * 256 + std::stoi(match[6]), false, line);
    if (std::regex_match(line, match, epsv))
        return offerDataPort(control, std::stoi(match[1]), true, line);
    return line;
}

// Passes complete lines on, rewritten; keeps a partial line for the next read.
std::string ftpFilter(const std::shared_ptr<Link>& control, std::string& pending)
{
    std::string out;
    for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        out += rewriteFtpLine(control, pending.substr(0, end + 1));
        pending.erase(0, end + 1);
    }
    return out;
}

// Called with every chunk a data connection carries: past the cut, the connection (and with
// --cut-control its control connection) is reset, once per run.
using Carried = std::function<void(size_t bytes)>;

// Copies from one descriptor into queue until the end of the stream, or until the link is aborted
// (a socket shut for reading still takes what arrives, so the reader stops by itself).
void readInto(int from, DelayQueue& queue, const Filter& filter, const Link& link, const Carried& carried = {})
{
    std::vector<char> buffer(256 * 1024);
    std::string pending;
    for (;;) {
        const ssize_t got = ::recv(from, buffer.data(), buffer.size(), 0);
        if (got <= 0 || link.aborted)
            break;
        if (carried)
            carried(static_cast<size_t>(got));
        pending.append(buffer.data(), static_cast<size_t>(got));
        std::string out = filter ? filter(pending) : std::move(pending);
        if (!filter)
            pending.clear();
        if (!out.empty())
            queue.push(std::move(out));
    }
    if (!pending.empty())
        queue.push(std::move(pending));
    queue.push({});
}

// Writes what queue holds to to once due; an end chunk half-closes to. After an abort nothing more
// goes out.
void writeFrom(DelayQueue& queue, int to, int from, const Link& link, std::atomic<long long>* written = nullptr)
{
    Chunk chunk;
    while (queue.pop(chunk)) {
        if (link.aborted)
            return;
        if (chunk.bytes.empty()) {
            ::shutdown(to, SHUT_WR);
            return;
        }
        if (written)
            *written += static_cast<long long>(chunk.bytes.size());
        if (!writeAll(to, chunk.bytes)) {
            ::shutdown(from, SHUT_RDWR); // the reader of the other side stops too
            queue.close();
            return;
        }
    }
}

// control: the control connection of a data connection (none for a control connection itself).
void relay(const std::shared_ptr<Link>& link, Filter serverFilter, const std::shared_ptr<Link>& control)
{
    const int client = link->client;
    const int server = link->server;
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const bool isData = control != nullptr;
    long long carried = 0;
    std::mutex counting;
    const Carried cut = [&](size_t bytes) {
        std::lock_guard lock(counting);
        carried += static_cast<long long>(bytes);
        if (cutAfter > 0 && carried > cutAfter && !cutDone.exchange(true)) {
            std::fprintf(stderr, "delayproxy: resetting a data connection after %lld bytes%s\n", carried,
                         cutControl ? " and its control connection" : "");
            link->abort();
            if (cutControl)
                control->abort();
        }
    };
    DelayQueue up;
    DelayQueue down;
    std::thread upReader([&] { readInto(client, up, {}, *link, isData ? cut : Carried()); });
    std::thread downReader([&] {
        readInto(server, down, serverFilter, *link, isData ? Carried([&](size_t bytes) {
            fromServer += static_cast<long long>(bytes);
            cut(bytes);
        })
                                                    : Carried());
    });
    std::thread upWriter([&] { writeFrom(up, server, client, *link, isData ? &toServer : nullptr); });
    writeFrom(down, client, server, *link);
    upWriter.join();
    up.close();
    down.close();
    if (link->aborted) {
        // A reset on both sides, as a broken link leaves them.
        const linger reset{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::setsockopt(server, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    ::shutdown(client, link->aborted ? SHUT_RD : SHUT_RDWR);
    ::shutdown(server, link->aborted ? SHUT_RD : SHUT_RDWR);
    upReader.join();
    downReader.join();
    link->closed = true;
    ::close(client);
    ::close(server);
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    bool ftp = false;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        if (std::strcmp(argv[first], "--ftp") == 0)
            ftp = true;
        else if (std::strcmp(argv[first], "--cut-control") == 0)
            cutControl = true;
        else if (std::strcmp(argv[first], "--cut-after") == 0 && first + 1 < argc)
            cutAfter = std::atoll(argv[++first]);
        else
            break;
    }
    if (argc - first != 4 || (cutAfter > 0 && !ftp)) {
        std::fprintf(stderr, "usage: delayproxy [--ftp [--cut-after BYTES [--cut-control]]] LISTEN_PORT TARGET_HOST "
                             "TARGET_PORT DELAY_MS\n");
        return 2;
    }
    targetHost = argv[first + 1];
    const int targetPort = std::atoi(argv[first + 2]);
    delay = std::chrono::milliseconds(std::atoi(argv[first + 3]));
    int port = 0;
    const int listener = listenOn(std::atoi(argv[first]), port);
    if (listener < 0) {
        std::perror("delayproxy: listen");
        return 1;
    }
    std::printf("port %d\n", port);
    std::fflush(stdout);
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        std::thread([client, targetPort, ftp] {
            const int server = connectTo(targetHost, targetPort);
            if (server < 0) {
                ::close(client);
                return;
            }
            auto link = std::make_shared<Link>();
            link->client = client;
            link->server = server;
            Filter filter;
            if (ftp)
                filter = [link](std::string& pending) { return ftpFilter(link, pending); };
            relay(link, filter);
        }).detach();
    }
}
