#pragma once
// A TCP proxy on a free loopback port in front of a PostgreSQL server, for answers lost in
// transit: it carries every connection both ways, and once armed it lets the next request a
// client sends reach the server, lets the server answer it in full (up to its
// ReadyForQuery, so a commit is done), swallows that answer and closes the connection.
//
//   CuttingProxy proxy(server.Port());
//   ... a connection string with Port=proxy.Port() ...
//   proxy.SwallowNextAnswer();
//   db->INSERTMachining(...);  // the server ran it; the client never hears so
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace QuillData::test {

class CuttingProxy {
 public:
  explicit CuttingProxy(int serverPort);
  ~CuttingProxy();
  CuttingProxy(const CuttingProxy&) = delete;
  CuttingProxy& operator=(const CuttingProxy&) = delete;

  int Port() const { return port_; }
  void SwallowNextAnswer() { armed_ = true; }
  // How many answers were swallowed so far.
  int Swallowed() const { return swallowed_; }

 private:
  void Accept();
  void Carry(int client, int server);

  int serverPort_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> armed_{false};
  std::atomic<int> swallowed_{0};
  std::mutex mutex_;
  std::vector<std::thread> threads_;
  std::thread acceptor_;
};

}  // namespace QuillData::test
