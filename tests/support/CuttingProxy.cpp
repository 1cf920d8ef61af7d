#include "support/CuttingProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

namespace QuillData::test {

namespace {

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Where the server's answer to a request that ran a command ends: after the ReadyForQuery
// that follows its CommandComplete (the command is done and committed). An answer without
// such a command (a statement only prepared, a driver's own SET or SAVEPOINT) ends at its
// ReadyForQuery too, and is handed on. The server's messages are a type byte and a
// big-endian length that counts itself.
enum class Answer { Incomplete, WithoutCommand, Command };
Answer Scan(const std::string& answer, size_t& end) {
  bool completed = false;
  for (size_t at = 0; at + 5 <= answer.size();) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(answer.data() + at + 1);
    const size_t length = (size_t{bytes[0]} << 24) | (size_t{bytes[1]} << 16) |
                          (size_t{bytes[2]} << 8) | size_t{bytes[3]};
    if (at + 1 + length > answer.size()) break;
    if (answer[at] == 'C') {
      const std::string_view tag(answer.data() + at + 5, length - 4);
      completed = completed || !(tag.starts_with("SET") || tag.starts_with("SAVEPOINT") ||
                                 tag.starts_with("RELEASE") || tag.starts_with("BEGIN"));
    }
    at += 1 + length;
    if (answer[at - 1 - length] == 'Z') {
      end = at;
      return completed ? Answer::Command : Answer::WithoutCommand;
    }
  }
  return Answer::Incomplete;
}

}  // namespace

CuttingProxy::CuttingProxy(int serverPort) : serverPort_(serverPort) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("the proxy cannot listen on the loopback");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

CuttingProxy::~CuttingProxy() {
  stop_ = true;
  shutdown(listener_, SHUT_RDWR);
  acceptor_.join();
  close(listener_);
  for (auto& t : threads_) t.join();
}

void CuttingProxy::Accept() {
  for (;;) {
    pollfd ready{listener_, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) {
      if (stop_) return;
      continue;
    }
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) {
      if (stop_) return;
      continue;
    }
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(serverPort_));
    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(client);
      close(server);
      continue;
    }
    std::lock_guard lock(mutex_);
    threads_.emplace_back([this, client, server] { Carry(client, server); });
  }
}

void CuttingProxy::Carry(int client, int server) {
  char buffer[65536];
  bool cutting = false;  // the request went on; its answer is being swallowed
  std::string swallowed;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::hours(1);
  auto deadline = giveUp;
  while (!stop_ && std::chrono::steady_clock::now() < deadline) {
    pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    if (poll(ends, 2, 100) <= 0) continue;
    if (ends[0].revents) {
      const ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      bool expected = true;
      if (!cutting && armed_.compare_exchange_strong(expected, false)) {
        cutting = true;
        deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      }
      if (!SendAll(server, buffer, static_cast<size_t>(n))) break;
    }
    if (ends[1].revents) {
      const ssize_t n = recv(server, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      if (!cutting) {
        if (!SendAll(client, buffer, static_cast<size_t>(n))) break;
        continue;
      }
      swallowed.append(buffer, static_cast<size_t>(n));
      size_t end = 0;
      Answer answer = Scan(swallowed, end);
      while (answer == Answer::WithoutCommand) {
        if (!SendAll(client, swallowed.data(), end)) break;
        swallowed.erase(0, end);
        answer = Scan(swallowed, end);
      }
      if (answer == Answer::Command) {
        ++swallowed_;
        break;
      }
    }
  }
  close(client);
  close(server);
}

}  // namespace QuillData::test
