// A real Mosquitto broker (Debian's mosquitto) on loopback with a
// configuration of the test's own, a libmosquitto subscriber, and two peers
// that are no broker: one that answers with garbage, one that accepts and
// never answers.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace kvn::test {

struct BrokerOptions {
  // A password file with this one user; anonymous clients are refused.
  std::optional<std::pair<std::string, std::string>> user;
  // A TLS listener, with a CA and a server certificate for 127.0.0.1 and
  // localhost made by openssl in the broker's folder.
  bool tls = false;
};

class MosquittoBroker {
 public:
  explicit MosquittoBroker(BrokerOptions options = {});
  ~MosquittoBroker();
  MosquittoBroker(const MosquittoBroker&) = delete;
  MosquittoBroker& operator=(const MosquittoBroker&) = delete;

  // Starts the broker; true once its port takes connections. Its
  // subscriptions and retained messages are saved every second, so a
  // broker killed and started again keeps those older than that.
  bool start();
  void kill();  // SIGKILL
  void stop();  // SIGTERM
  // SIGSTOP and SIGCONT: a broker that takes bytes and answers none.
  void pause();
  void resume();
  bool running() const { return pid_ > 0; }

  int port() const { return port_; }
  const std::string& folder() const { return folder_; }
  const BrokerOptions& options() const { return options_; }
  std::string caFile() const { return folder_ + "/ca.pem"; }
  std::string otherCaFile() const { return folder_ + "/other-ca.pem"; }
  // What the broker and the set-up printed, for failure messages.
  std::string log() const;

 private:
  bool prepare();
  void end(int signal);

  BrokerOptions options_;
  std::string folder_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool prepared_ = false;
  std::string problem_;
};

struct Message {
  std::string topic;
  std::string payload;
  bool retained = false;
  int qos = 0;
};

// QoS 1, with a session the broker keeps (clean session off), so that what
// was published while it reconnected to a restarted broker still reaches it.
class Subscriber {
 public:
  Subscriber(const MosquittoBroker& broker, std::vector<std::string> topics,
             std::string clientId = "kvn-test-sub");
  ~Subscriber();
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  bool waitUntilSubscribed(int ms = 10000);
  bool waitFor(const std::function<bool(const std::vector<Message>&)>& done, int ms);
  std::vector<Message> messages() const;

 private:
  static void OnConnect(mosquitto*, void*, int);
  static void OnSubscribe(mosquitto*, void*, int, int, const int*);
  static void OnMessage(mosquitto*, void*, const mosquitto_message*);

  std::vector<std::string> topics_;
  mosquitto* client_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Message> messages_;
  bool subscribed_ = false;
};

// A loopback listener on a thread of its own, for peers that are no broker.
class Peer {
 public:
  int port() const { return port_; }
  int connections() const { return connections_.load(); }
  virtual ~Peer();

 protected:
  // answer: what is written to each connection as it arrives (nothing: it
  // stalls).
  explicit Peer(std::string answer);

 private:
  void serve();

  std::string answer_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::vector<int> accepted_;
  std::thread thread_;
};

// Answers every connection with bytes that are no MQTT packet.
class GarbagePeer final : public Peer {
 public:
  GarbagePeer();
};

// Accepts and never reads or writes: a broker that stalls.
class StalledPeer final : public Peer {
 public:
  StalledPeer() : Peer({}) {}
};

}  // namespace kvn::test
