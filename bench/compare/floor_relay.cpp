// The floor of the relay comparison: the least a relay of datagrams over TCP has to do, in one
// small process. One thread takes datagrams from the entry socket and writes them to a TCP
// connection, each followed by a form feed, all that are already queued in one write; the other
// reads the connection in large chunks and sends each frame to the exit socket as one
// datagram. Both ends of the connection are in this process, on loopback.
//
//   compare_floor_relay ENTRY_PATH EXIT_PATH PORT
//
// Writes "ready" on standard error once the entry socket is bound and the connection is up.
// Runs until it is stopped by a signal (the benchmark script stops it).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char kFrameEnd = '\x0c';
constexpr std::size_t kChunk = 1 << 16;
constexpr std::size_t kMaxDatagram = 65535;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

sockaddr_un UnixAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("path too long");
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

void SendAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t sent = send(fd, data, length, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      Fail("tcp send");
    }
    data += sent;
    length -= static_cast<std::size_t>(sent);
  }
}

// Entry datagrams to TCP: waits for one, then takes every one already queued.
void EntryToTcp(int entry, int tcp) {
  std::vector<char> batch(kChunk + kMaxDatagram + 1);
  for (;;) {
    std::size_t used = 0;
    int flags = 0;
    while (used < kChunk) {
      const ssize_t got = recv(entry, batch.data() + used, kMaxDatagram, flags);
      if (got < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        Fail("entry recv");
      }
      used += static_cast<std::size_t>(got);
      batch[used++] = kFrameEnd;
      flags = MSG_DONTWAIT;
    }
    SendAll(tcp, batch.data(), used);
  }
}

// TCP to exit datagrams, one per frame; a frame cut by a read waits for its rest.
void TcpToExit(int tcp, const std::string& exit_path) {
  const int exit = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = UnixAddress(exit_path);
  std::vector<char> buffer(kChunk + kMaxDatagram + 1);
  std::size_t held = 0;
  for (;;) {
    if (held > kMaxDatagram) throw std::runtime_error("frame longer than a datagram");
    const ssize_t got = recv(tcp, buffer.data() + held, kChunk, 0);
    if (got == 0) return;
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("tcp recv");
    }
    const char* start = buffer.data();
    const char* end = buffer.data() + held + got;
    for (const char* cut; (cut = static_cast<const char*>(std::memchr(
                               start, kFrameEnd, static_cast<std::size_t>(end - start))));
         start = cut + 1) {
      while (sendto(exit, start, static_cast<std::size_t>(cut - start), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        if (errno != EINTR) Fail("exit sendto");
      }
    }
    held = static_cast<std::size_t>(end - start);
    std::memmove(buffer.data(), start, held);
  }
}

int BindEntry(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = UnixAddress(path);
  unlink(path.c_str());
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    Fail("bind " + path);
  const int size = 4 << 20;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  return fd;
}

// Both ends of one loopback connection: {sending end, receiving end}.
std::pair<int, int> Connection(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0)
    Fail("listen");
  const int sender = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(sender, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    Fail("connect");
  const int receiver = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (receiver < 0) Fail("accept");
  close(listener);
  setsockopt(sender, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return {sender, receiver};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: compare_floor_relay ENTRY_PATH EXIT_PATH PORT\n");
    return 64;
  }
  try {
    const int entry = BindEntry(argv[1]);
    const auto [sender, receiver] = Connection(std::atoi(argv[3]));
    std::fprintf(stderr, "ready\n");
    std::thread out([&, receiver = receiver] {
      try {
        TcpToExit(receiver, argv[2]);
      } catch (const std::exception& error) {
        std::fprintf(stderr, "compare_floor_relay: %s\n", error.what());
        std::exit(1);
      }
    });
    out.detach();
    EntryToTcp(entry, sender);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "compare_floor_relay: %s\n", error.what());
    return 1;
  }
  return 0;
}
