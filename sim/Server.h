#pragma once

#include <sys/types.h>

#include <netinet/in.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <queue>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/Commands.h"
#include "sim/Datagrams.h"
#include "sim/Listeners.h"
#include "sim/Terminal.h"

// The terminals on real sockets: one thread, one epoll loop. The UDP side
// (sim/Datagrams.h) answers queries and frames; the listeners
// (sim/Listeners.h) admit the connections, each of which is read here and
// fed to its terminal; stdin brings commands (sim/Commands.h).
namespace korven::sim {

struct ServerOptions {
  TimeUs replySpacing = 200;  // between replies of one burst, so a receiver keeps up
  std::optional<std::string> reportPath;
  bool readCommands = true;  // from stdin
};

class Server {
 public:
  Server(std::vector<Terminal>& terminals, ServerOptions options, std::FILE* out);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds every socket; false with one line in error when one cannot be had.
  bool start(std::string& error);
  // Serves until "quit" or SIGINT/SIGTERM, writes the report, and returns the
  // exit code.
  int run();

 private:
  struct Conn {
    int fd = -1;
    std::size_t terminal = 0;
    Terminal::ConnId id = 0;
    bool stopped = false;  // reads no more: only its end is watched
  };
  struct Timed {
    TimeUs due;
    std::uint64_t seq;
    std::function<void()> run;
    bool operator>(const Timed& other) const {
      return due != other.due ? due > other.due : seq > other.seq;
    }
  };
  void line(const std::string& text);
  void at(TimeUs due, std::function<void()> run);
  void armTimer();
  void onTimer();
  void openConnection(std::size_t i, int fd, const sockaddr_in& peer);
  void carry(std::uint32_t key, const Terminal::Actions& actions);
  void onConn(std::uint32_t key);
  void closeConn(std::uint32_t key, bool byTerminal, TimeUs at);
  void judgeClosed();
  void onStdin();
  int sendStatus(std::size_t terminal, unsigned char code);
  bool writeReport(std::string& error);

  std::vector<Terminal>& terminals_;
  ServerOptions options_;
  std::FILE* out_;
  TimeUs startedAt_ = 0;
  // When the last wait for events returned: what it reported had happened
  // by then, however long the handling of the events before it took.
  TimeUs woke_ = 0;
  int epoll_ = -1;
  int timer_ = -1;
  int signal_ = -1;
  bool stdinOpen_ = false;
  std::string stdinText_;
  std::unique_ptr<Datagrams> datagrams_;
  std::unique_ptr<Listeners> listeners_;
  std::unique_ptr<Commands> commands_;
  std::unordered_map<std::uint32_t, Conn> conns_;
  // Closed connections whose streams wait to be judged: judging a long
  // stream takes a while, and a thousand closes in a row must each be seen
  // when they come, not after the judging of those before.
  struct Closed {
    std::size_t terminal;
    Terminal::ConnId id;
    TimeUs at;
    bool byTerminal;
  };
  std::vector<Closed> unjudged_;
  std::uint32_t nextConn_ = 1;
  std::priority_queue<Timed, std::vector<Timed>, std::greater<>> timed_;
  std::uint64_t nextSeq_ = 0;
  TimeUs armedFor_ = -1;
  bool stop_ = false;
};

}  // namespace korven::sim
