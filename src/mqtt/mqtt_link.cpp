#include "mqtt/mqtt_link.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

namespace kvn {

namespace {

// Records handed to the library at a time before their acknowledgements.
constexpr std::size_t kWindow = 32;
// How long one turn of the thread waits for the network: the latency of a
// new record and of stop().
constexpr int kTurnMs = 50;
// What stop() gives the records still waiting to reach a broker that takes
// them, then the "offline" message and the DISCONNECT to leave: within
// stop()'s second together.
constexpr auto kFlush = std::chrono::milliseconds(400);
constexpr auto kGoodbye = std::chrono::milliseconds(300);

using Clock = std::chrono::steady_clock;

std::once_flag libraryOnce;

bool Readable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

std::string Plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

// What the window thread and the link's thread share; the thread keeps it
// alive after a stop() that let it go.
struct MqttLink::Shared {
  mutable std::mutex mutex;
  std::condition_variable wake;
  std::deque<MqttRecord> queue;  // the oldest first; not yet handed out
  std::size_t bound = kDefaultMqttQueue;
  std::size_t inflight = 0;  // handed to the library, not yet acknowledged
  std::uint64_t delivered = 0;
  std::uint64_t dropped = 0;
  std::uint64_t droppedUntold = 0;
  std::optional<MqttRecord> latest;
  bool connected = false;
  bool stopping = false;
  bool done = false;
  std::vector<std::string> notices;
  std::atomic<bool> noticesWaiting{false};

  void say(std::string text) {
    notices.push_back(std::move(text));
    noticesWaiting.store(true, std::memory_order_release);
  }
  // Keeps the records waiting within the bound, dropping the oldest; the
  // window in flight is not counted, so that a broker that takes them never
  // sees a record dropped. Locked.
  void trim() {
    while (queue.size() > bound) {
      queue.pop_front();
      ++dropped;
      ++droppedUntold;
    }
  }
};

class MqttLink::Worker {
 public:
  Worker(MqttSettings settings, MqttTopics topics, Timing timing, std::shared_ptr<Shared> shared)
      : settings_(std::move(settings)),
        topics_(std::move(topics)),
        timing_(timing),
        shared_(std::move(shared)),
        random_(std::random_device{}()) {
    clientId_ = "kvnvb-" + TopicLevel(topics_.host) + "-" + std::to_string(::getpid());
    if (clientId_.size() > 64) clientId_.resize(64);
  }
  ~Worker() { drop(); }

  // A client with every setting applied; the reason when one is refused.
  std::optional<std::string> make() {
    client_ = mosquitto_new(clientId_.c_str(), true, this);
    if (!client_)
      return std::string("the MQTT library could not make a client: ") + std::strerror(errno);
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Records go out as they come, not held back for acknowledgements.
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
    // The window of records in flight is the link's own (kWindow).
    mosquitto_max_inflight_messages_set(client_, 0);
    mosquitto_connect_callback_set(client_, &Worker::OnConnect);
    mosquitto_publish_callback_set(client_, &Worker::OnPublish);
    mosquitto_log_callback_set(client_, &Worker::OnLog);
    const std::string availability = topics_.availability();
    if (mosquitto_will_set(client_, availability.c_str(), static_cast<int>(std::strlen(kOffline)),
                           kOffline, 1, true) != MOSQ_ERR_SUCCESS)
      return std::string("the prefix ") + topics_.prefix + " makes no valid topic";
    if (!settings_.username.empty() &&
        mosquitto_username_pw_set(client_, settings_.username.c_str(),
                                  settings_.password.c_str()) != MOSQ_ERR_SUCCESS)
      return std::string("the user name or password of ") + settings_.credentials +
             " is not valid UTF-8";
    if (settings_.tls) {
      for (const std::string* file : {&settings_.ca, &settings_.cert, &settings_.key})
        if (!file->empty() && !Readable(*file))
          return "the file " + *file + " cannot be read: " + std::strerror(errno);
      const char* cafile = settings_.ca.empty() ? nullptr : settings_.ca.c_str();
      const char* capath = settings_.ca.empty() ? "/etc/ssl/certs" : nullptr;
      const int rc = mosquitto_tls_set(
          client_, cafile, capath, settings_.cert.empty() ? nullptr : settings_.cert.c_str(),
          settings_.key.empty() ? nullptr : settings_.key.c_str(), nullptr);
      if (rc != MOSQ_ERR_SUCCESS)
        return std::string("the TLS settings are refused: ") + mosquitto_strerror(rc);
      // The broker's certificate checked (SSL_VERIFY_PEER), TLS 1.2 or later.
      mosquitto_tls_opts_set(client_, 1, "tlsv1.2", nullptr);
    }
    return std::nullopt;
  }

  void run() {
    Clock::duration retry = timing_.firstRetry;
    bool first = true;
    while (!stopping()) {
      if (!first) {
        // Up to a fifth less, so that a fleet does not come back all at once.
        const auto wait = retry - std::chrono::duration_cast<Clock::duration>(
                                      retry * std::uniform_real_distribution<>(0, 0.2)(random_));
        std::unique_lock lock(shared_->mutex);
        shared_->wake.wait_for(lock, wait, [this] { return shared_->stopping; });
        if (shared_->stopping) break;
        retry = std::min<Clock::duration>(retry * 2, timing_.retryCeiling);
      }
      first = false;
      if (connectOnce()) retry = timing_.firstRetry;
    }
    goodbye();
    std::lock_guard lock(shared_->mutex);
    shared_->done = true;
    shared_->wake.notify_all();
  }

 private:
  bool stopping() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->stopping;
  }

  // One connection, from its attempt until it is lost or the link stops.
  // True when the broker took it.
  bool connectOnce() {
    drop();
    if (auto problem = make()) {
      tell(*problem);
      return false;
    }
    libraryError_.clear();
    refusal_ = -1;
    accepted_ = false;
    const auto began = Clock::now();
    const int rc = mosquitto_connect_async(client_, settings_.host.c_str(), settings_.port,
                                           timing_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
      lost(reason(rc));
      return false;
    }
    while (!stopping()) {
      if (accepted_) sendMore();
      const int loop = mosquitto_loop(client_, kTurnMs, 1);
      if (refusal_ > 0) {
        std::string answer = mosquitto_connack_string(refusal_);
        if (!answer.empty() && answer.back() == '.') answer.pop_back();
        lost("the broker refused the connection: " + answer);
        return false;
      }
      if (loop != MOSQ_ERR_SUCCESS) {
        lost(reason(loop));
        return accepted_;
      }
      const auto now = Clock::now();
      if (!accepted_ && now - began > timing_.answer) {
        char within[32];
        std::snprintf(within, sizeof within, "%.1f s",
                      static_cast<double>(timing_.answer.count()) / 1000.0);
        lost(std::string("no answer to the connection within ") + within);
        return false;
      }
      if (accepted_ && !sent_.empty() && now - sent_.front().at > timing_.answer) {
        lost("the broker stopped acknowledging records");
        return true;
      }
    }
    return accepted_;
  }

  // Hands records to the library, the oldest first, up to the window.
  void sendMore() {
    const std::string topic = topics_.record();
    while (sent_.size() < kWindow) {
      MqttRecord record;
      {
        std::lock_guard lock(shared_->mutex);
        if (shared_->queue.empty()) break;
        record = shared_->queue.front();
        shared_->queue.pop_front();
        ++shared_->inflight;
      }
      const std::string payload = RecordJson(record);
      int mid = 0;
      const int rc = mosquitto_publish(client_, &mid, topic.c_str(),
                                       static_cast<int>(payload.size()), payload.data(), 1, false);
      sent_.push_back({mid, record, Clock::now()});
      if (rc != MOSQ_ERR_SUCCESS) return;  // the loop tells why and takes them back
      ++unacknowledged_;
    }
    publishStates();
  }

  // The retained state of the newest record: once per record, and while a
  // backlog goes out, once a second (the records carry every reading).
  void publishStates() {
    std::optional<MqttRecord> latest;
    bool backlog = false;
    {
      std::lock_guard lock(shared_->mutex);
      latest = shared_->latest;
      backlog = !shared_->queue.empty();
    }
    if (!latest || latest->sequence == statesOf_) return;
    const auto now = Clock::now();
    if (backlog && now - statesAt_ < std::chrono::seconds(1)) return;
    statesOf_ = latest->sequence;
    statesAt_ = now;
    for (const MqttMessage& m : StateMessages(topics_, *latest)) publish(m);
  }

  void publish(const MqttMessage& m) {
    if (mosquitto_publish(client_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()),
                          m.payload.data(), 1, m.retain) == MOSQ_ERR_SUCCESS)
      ++unacknowledged_;
  }

  // The connection is given up: the records not acknowledged go back to the
  // front of the queue, in order, and the user hears why (once per reason).
  void lost(const std::string& why) {
    drop();
    std::lock_guard lock(shared_->mutex);
    const bool wasConnected = shared_->connected;
    shared_->connected = false;
    for (auto it = sent_.rbegin(); it != sent_.rend(); ++it) shared_->queue.push_front(it->record);
    shared_->inflight = 0;
    sent_.clear();
    shared_->trim();
    const std::string text = "MQTT " + settings_.url + ": " + why +
                             (wasConnected ? ". Records wait for the broker in a queue of up to " +
                                                 std::to_string(shared_->bound) + "."
                                           : ".");
    if (why != told_) {
      told_ = why;
      shared_->say(text + " Trying again.");
    }
  }

  void tell(const std::string& why) {
    std::lock_guard lock(shared_->mutex);
    if (why == told_) return;
    told_ = why;
    shared_->say("MQTT " + settings_.url + ": " + why + ".");
  }

  std::string reason(int rc) const {
    switch (rc) {
      case MOSQ_ERR_EAI:
        return "the host name " + settings_.host + " cannot be resolved";
      case MOSQ_ERR_ERRNO:
        return std::strerror(errno);
      case MOSQ_ERR_CONN_LOST:
        return "the connection was lost";
      case MOSQ_ERR_PROTOCOL:
      case MOSQ_ERR_MALFORMED_PACKET:
      case MOSQ_ERR_NOT_SUPPORTED:
        return "the peer does not speak MQTT";
      case MOSQ_ERR_TLS:
      case MOSQ_ERR_TLS_HANDSHAKE:
        return "the TLS handshake failed" +
               (libraryError_.empty() ? std::string() : " (" + libraryError_ + ")");
      case MOSQ_ERR_KEEPALIVE:
        return "the broker stopped answering";
      case MOSQ_ERR_NO_CONN:
        return "the connection was closed";
      default:
        return mosquitto_strerror(rc);
    }
  }

  // The broker took the connection: online, the discovery configurations,
  // the latest states, then the queue.
  void accepted() {
    accepted_ = true;
    statesOf_ = 0;
    publish({topics_.availability(), kOnline, true});
    if (settings_.discovery)
      for (const MqttMessage& m : DiscoveryMessages(topics_)) publish(m);
    std::lock_guard lock(shared_->mutex);
    shared_->connected = true;
    std::string text = "MQTT " + settings_.url + ": " +
                       (everConnected_ ? "connected again" : "connected") + ", publishing under " +
                       topics_.prefix + "/.";
    if (shared_->droppedUntold > 0) {
      text += " " + Plural(shared_->droppedUntold, "record was", "records were") +
              " dropped while the broker was away (the queue holds " +
              std::to_string(shared_->bound) + ").";
      shared_->droppedUntold = 0;
    }
    everConnected_ = true;
    told_.clear();
    shared_->say(text);
  }

  void acknowledged(int mid) {
    if (unacknowledged_ > 0) --unacknowledged_;
    for (auto it = sent_.begin(); it != sent_.end(); ++it) {
      if (it->mid != mid) continue;
      sent_.erase(it);
      std::lock_guard lock(shared_->mutex);
      --shared_->inflight;
      ++shared_->delivered;
      return;
    }
  }

  // At the end: what waits goes out while the broker takes it (within
  // kFlush), then "offline" and the DISCONNECT.
  void goodbye() {
    if (client_ && accepted_) {
      const auto flushUntil = Clock::now() + kFlush;
      while (Clock::now() < flushUntil) {
        sendMore();
        {
          std::lock_guard lock(shared_->mutex);
          if (shared_->queue.empty() && sent_.empty()) break;
        }
        if (mosquitto_loop(client_, 10, 1) != MOSQ_ERR_SUCCESS) break;
      }
      publish({topics_.availability(), kOffline, true});
      // The DISCONNECT waits for the last acknowledgements: a socket closed
      // with them unread is reset, and the broker throws away whatever it
      // had not read yet (the last states, "offline").
      const auto until = Clock::now() + kGoodbye;
      while (unacknowledged_ > 0 && Clock::now() < until &&
             mosquitto_loop(client_, 10, 1) == MOSQ_ERR_SUCCESS) {
      }
      mosquitto_disconnect(client_);
      while (Clock::now() < until && mosquitto_loop(client_, kTurnMs, 1) == MOSQ_ERR_SUCCESS) {
      }
    }
    drop();
    std::lock_guard lock(shared_->mutex);
    if (shared_->droppedUntold > 0) {
      shared_->say("MQTT " + settings_.url + ": " +
                   Plural(shared_->droppedUntold, "record was", "records were") +
                   " dropped while the broker was away (the queue holds " +
                   std::to_string(shared_->bound) + ").");
      shared_->droppedUntold = 0;
    }
    if (!shared_->queue.empty() || !sent_.empty())
      shared_->say("MQTT " + settings_.url + ": " +
                   Plural(shared_->queue.size() + sent_.size(), "record", "records") +
                   " had not reached the broker when the program ended.");
  }

  void drop() {
    if (client_) mosquitto_destroy(client_);
    client_ = nullptr;
    unacknowledged_ = 0;
  }

  static void OnConnect(mosquitto*, void* self, int rc) {
    auto* w = static_cast<Worker*>(self);
    if (rc == 0)
      w->accepted();
    else
      w->refusal_ = rc;
  }
  static void OnPublish(mosquitto*, void* self, int mid) {
    static_cast<Worker*>(self)->acknowledged(mid);
  }
  static void OnLog(mosquitto*, void* self, int level, const char* text) {
    if ((level & MOSQ_LOG_ERR) != 0 && text) static_cast<Worker*>(self)->libraryError_ = text;
  }

  MqttSettings settings_;
  MqttTopics topics_;
  Timing timing_;
  std::shared_ptr<Shared> shared_;
  std::mt19937 random_;
  std::string clientId_;
  mosquitto* client_ = nullptr;
  // A record handed to the library, not yet acknowledged.
  struct Sent {
    int mid = 0;
    MqttRecord record;
    Clock::time_point at;
  };
  std::deque<Sent> sent_;
  // QoS 1 messages of the connection (records, states, availability,
  // discovery) the broker has not acknowledged yet.
  std::size_t unacknowledged_ = 0;
  bool accepted_ = false;
  bool everConnected_ = false;
  int refusal_ = -1;
  std::uint64_t statesOf_ = 0;
  Clock::time_point statesAt_{};
  std::string libraryError_;
  std::string told_;
};

MqttLink::MqttLink(MqttSettings settings, MqttTopics topics, Timing timing)
    : settings_(std::move(settings)),
      topics_(std::move(topics)),
      timing_(timing),
      shared_(std::make_shared<Shared>()) {
  shared_->bound = settings_.queue;
}

MqttLink::~MqttLink() { stop(); }

std::optional<std::string> MqttLink::start() {
  std::call_once(libraryOnce, [] { mosquitto_lib_init(); });
  auto worker = std::make_unique<Worker>(settings_, topics_, timing_, shared_);
  if (auto problem = worker->make()) return "The MQTT option cannot be used: " + *problem + ".";
  std::thread([w = std::move(worker)] { w->run(); }).detach();
  started_ = true;
  return std::nullopt;
}

void MqttLink::push(const MqttRecord& record) {
  std::lock_guard lock(shared_->mutex);
  shared_->queue.push_back(record);
  shared_->latest = record;
  shared_->trim();
}

bool MqttLink::hasNotices() const {
  return shared_->noticesWaiting.load(std::memory_order_acquire);
}

std::vector<std::string> MqttLink::takeNotices() {
  std::lock_guard lock(shared_->mutex);
  shared_->noticesWaiting.store(false, std::memory_order_relaxed);
  return std::exchange(shared_->notices, {});
}

void MqttLink::stop(std::chrono::milliseconds budget) {
  if (!started_) return;
  started_ = false;
  std::unique_lock lock(shared_->mutex);
  shared_->stopping = true;
  shared_->wake.notify_all();
  shared_->wake.wait_for(lock, budget, [this] { return shared_->done; });
}

MqttLink::Counts MqttLink::counts() const {
  std::lock_guard lock(shared_->mutex);
  return {shared_->queue.size() + shared_->inflight, shared_->delivered, shared_->dropped,
          shared_->connected};
}

}  // namespace kvn
