// A real mosquitto broker on loopback, run by a test with a configuration of
// its own, a subscriber that watches what reaches it, and two peers that
// accept connections and then misbehave. Plain C++ over POSIX and
// libmosquitto, so that plain gtest programs link it as well.
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

// Runs a program (argv[0] a path, or a name looked up in PATH) with its
// standard input on /dev/null and its standard output and error collected in
// *output. Its exit status; -1 when it could not be started, was ended by a
// signal or was still running after timeoutMs (it is killed then).
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr,
               int timeoutMs = 30000);

struct BrokerOptions {
  // A password file with this one user (mosquitto_passwd -b); anonymous
  // clients refused.
  std::optional<std::pair<std::string, std::string>> user;
  // A TLS listener (the only one): a CA and a server certificate (SAN
  // IP:127.0.0.1 and DNS:localhost) made with openssl in the broker's folder.
  bool tls = false;
  // Lines added to the end of mosquitto.conf as they are, such as
  // "max_queued_messages 5".
  std::string extraConfig;
};

// The broker's folder, port, configuration and certificates are made in the
// constructor; a failure there makes start() return false with the reason in
// log(). The broker keeps its persistence database in the folder, saved a few
// milliseconds after each change (subscription, queued or retained message)
// and on stop(), so that persistent sessions and queued messages outlive a
// kill() made soon after they arose; save() makes sure of it. The broker
// dies with the thread that called start() (PR_SET_PDEATHSIG), so that a
// crashed or killed test leaves none behind: call start() from a thread that
// outlives the broker, such as the test's own.
class MosquittoBroker {
 public:
  // A temp folder (mkdtemp under $TMPDIR or /tmp), a free loopback port,
  // mosquitto.conf.
  explicit MosquittoBroker(BrokerOptions options = {});
  ~MosquittoBroker();  // kills the broker, removes the folder
  MosquittoBroker(const MosquittoBroker&) = delete;
  MosquittoBroker& operator=(const MosquittoBroker&) = delete;

  // Starts /usr/sbin/mosquitto -c conf; true once the port accepts a TCP
  // connection (up to 10 s) and the broker still runs. True at once when it
  // already runs. Its standard output and error go to broker.log in the folder.
  bool start();
  void kill();  // SIGKILL, waits for the process
  void stop();  // SIGTERM, waits (SIGKILL after 10 s)
  // Has the running broker save its database now (SIGUSR1); true once the
  // file has been replaced, within ms. For a kill() right after a change,
  // which the broker's own saving (a few ms after each change) could miss.
  bool save(int ms = 5000);
  bool running() const;
  int port() const;  // the same port across restarts
  std::string folder() const;
  std::string caFile() const;       // CA that signed the server certificate (tls only)
  std::string otherCaFile() const;  // an unrelated CA, for "unknown CA" cases (tls only)
  std::string log() const;          // the harness's notes and the broker's output so far
  const BrokerOptions& options() const { return options_; }
  // -h 127.0.0.1 -p PORT and, as the broker needs them, --cafile CA and
  // -u USER -P PASSWORD: the arguments of mosquitto_pub or mosquitto_sub for it.
  std::vector<std::string> clientArgs() const;

 private:
  void note(const std::string& text) const;
  bool run(const std::vector<std::string>& argv, const std::string& what);
  bool makePasswordFile();
  bool makeTlsFiles();
  bool writeConfig();
  void reap(bool block) const;

  BrokerOptions options_;
  std::string folder_;
  mutable std::string notes_;  // the harness's own messages, such as a failed openssl
  bool setupOk_ = false;
  int port_ = 0;
  mutable pid_t pid_ = -1;
};

struct Message {
  std::string topic;
  std::string payload;
  bool retained = false;
  int qos = 0;
};

// A libmosquitto subscriber in its own thread, QoS 1, with a persistent
// session (clean_session false, a fixed client id) so that messages published
// while it was away from a restarted broker still reach it; it connects again
// by itself 1 s after each loss or failed attempt and subscribes again on
// each connect. The thread is its own rather than mosquitto_loop_start's: in
// libmosquitto 2.0.11 that one gives up for good when the first connect fails
// (no broker yet) and when a TLS broker is killed (OpenSSL 3 reports the
// unexpected end as a TLS error, which ends mosquitto_loop_forever). Being
// QoS 1, a message may arrive twice (after a restart, or a retained one on
// each new SUBACK).
class Subscriber {
 public:
  Subscriber(const MosquittoBroker& broker, std::vector<std::string> topics,
             std::string clientId = "kvn-test-sub");
  ~Subscriber();
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  bool connected() const;
  // True once the SUBACK of the current connection arrived with every topic
  // granted.
  bool waitUntilSubscribed(int ms = 10000);
  // Waits until pred(all messages so far) is true; false on timeout. pred
  // runs with the messages locked: it must not call this object.
  bool waitFor(const std::function<bool(const std::vector<Message>&)>& pred, int ms);
  std::vector<Message> messages() const;  // in arrival order
  int connects() const;                   // CONNACKs accepted so far
  int lastConnectResult() const;          // the last CONNACK's code; -1 before any

 private:
  static void onConnect(mosquitto* m, void* self, int rc);
  static void onDisconnect(mosquitto* m, void* self, int rc);
  static void onSubscribe(mosquitto* m, void* self, int mid, int count, const int* granted);
  static void onMessage(mosquitto* m, void* self, const mosquitto_message* message);

  void run(int port);

  const std::vector<std::string> topics_;
  mosquitto* m_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Message> messages_;
  bool connected_ = false;
  bool subscribed_ = false;
  int subscribeMid_ = -1;
  int connects_ = 0;
  int lastConnectResult_ = -1;
  bool stop_ = false;
  std::thread thread_;  // the only one to call libmosquitto between new and destroy
};

// A TCP listener on loopback, with a thread that accepts each connection and
// treats it as the peer's kind says. Shared by the two peers below.
class LoopbackPeer {
 public:
  enum class Kind { Garbage, Stalled };
  explicit LoopbackPeer(Kind kind);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;
  int port() const { return port_; }
  int connections() const { return connections_; }

 private:
  void run();

  const Kind kind_;
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<int> connections_ = 0;
  std::thread thread_;
};

// Accepts each connection and writes bytes to it that are no MQTT packet,
// then keeps reading and discarding what the client sends until it closes.
class GarbagePeer {
 public:
  GarbagePeer() : peer_(LoopbackPeer::Kind::Garbage) {}
  int port() const { return peer_.port(); }
  int connections() const { return peer_.connections(); }

 private:
  LoopbackPeer peer_;
};

// Accepts each connection and then never reads from it nor writes to it, as
// a broker that accepts and stalls; all are closed in the destructor.
class StalledPeer {
 public:
  StalledPeer() : peer_(LoopbackPeer::Kind::Stalled) {}
  int port() const { return peer_.port(); }
  int connections() const { return peer_.connections(); }

 private:
  LoopbackPeer peer_;
};

}  // namespace kvn::test
