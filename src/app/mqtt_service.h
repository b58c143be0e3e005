// The MQTT publisher of the running program: the command line's /Q is read
// and its credentials loaded before the board opens (a /Q that cannot be
// used ends the program); the link starts once the board is open, takes the
// scan's records, and stops at Quit before the log closes. Its notices go to
// standard error and, as message lines, into a log that is recording. A build
// without MQTT (KVN_WITH_MQTT off, as on Windows) refuses /Q.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "mqtt/mqtt_option.h"

namespace kvn {

class EnvForm;
class MqttLink;
struct ProgramValues;

class MqttService {
 public:
  // The program's exit status when it refuses /Q.
  static constexpr int kRefusedStatus = kMqttRefusedStatus;

  // The form and the shared values must outlive the service.
  MqttService(EnvForm& form, const ProgramValues& values);
  ~MqttService();

  // Reads the command line's /Q and its credentials (credentialsDirectory:
  // systemd's $CREDENTIALS_DIRECTORY, or null). The message for the user
  // when the program must end.
  std::optional<std::string> prepare(const std::string& commandLine,
                                     const char* credentialsDirectory);
  // Starts publishing, when prepare found a /Q; hostName names the board's
  // computer. The message for the user when it cannot.
  std::optional<std::string> start(const std::string& hostName);
  // Said "offline" and disconnected within a second; the last notices told.
  void stop();

  bool active() const { return link_ != nullptr; }
  const MqttLink* link() const { return link_.get(); }

 private:
  void tellNotices();

  EnvForm& form_;
  const ProgramValues& values_;
  std::optional<MqttSettings> settings_;
  std::unique_ptr<MqttLink> link_;
  std::uint64_t sequence_ = 0;
};

}  // namespace kvn
