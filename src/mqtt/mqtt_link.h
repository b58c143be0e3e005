// The program's client of an MQTT broker (libmosquitto), on a thread of its
// own. The window thread hands it records and takes its notices; neither
// ever waits for the network. Records wait in a bounded queue while the
// broker is away and go out in order, QoS 1, once it takes them again; a
// record leaves the queue only when the broker acknowledged it, so a lost
// connection sends the unacknowledged ones again (the same record, with its
// own time and sequence number). Beyond the bound the oldest are dropped and
// counted.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mqtt/mqtt_messages.h"
#include "mqtt/mqtt_option.h"

namespace kvn {

class MqttLink {
 public:
  struct Counts {
    std::size_t queued = 0;       // waiting, or sent and not yet acknowledged
    std::uint64_t delivered = 0;  // acknowledged by the broker
    std::uint64_t dropped = 0;    // the oldest, given up beyond the bound
    bool connected = false;
  };

  // How long the link waits for an answer before it gives a connection up,
  // and its back-off between attempts; the defaults suit a plant's broker,
  // tests make them shorter.
  struct Timing {
    std::chrono::milliseconds answer{10000};
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds retryCeiling{30000};
    int keepAliveSeconds = 15;
  };

  MqttLink(MqttSettings settings, MqttTopics topics, Timing timing);
  MqttLink(MqttSettings settings, MqttTopics topics)
      : MqttLink(std::move(settings), std::move(topics), Timing{}) {}
  ~MqttLink();
  MqttLink(const MqttLink&) = delete;
  MqttLink& operator=(const MqttLink&) = delete;

  // Checks what can be checked before any connection (the library, the TLS
  // files) and starts the thread. The reason for the user when it cannot.
  std::optional<std::string> start();

  // A record for the broker. Never waits for the network: the caller holds
  // the queue's lock for a copy into it and nothing else.
  void push(const MqttRecord& record);

  // What the user is to be told (connected, a connection lost or refused and
  // why, records dropped), each once; cheap to ask when there is nothing.
  bool hasNotices() const;
  std::vector<std::string> takeNotices();

  // Publishes "offline", disconnects and ends the thread, within budget. A
  // thread still held by the network after it (a name lookup that hangs) is
  // let go: it holds nothing of the caller's and ends with the process.
  void stop(std::chrono::milliseconds budget = std::chrono::milliseconds(900));

  Counts counts() const;

  struct Shared;
  class Worker;

 private:
  MqttSettings settings_;
  MqttTopics topics_;
  Timing timing_;
  std::shared_ptr<Shared> shared_;
  bool started_ = false;
};

}  // namespace kvn
