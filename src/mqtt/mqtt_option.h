// The MQTT option of the command line: /Q=URL publishes the readings to the
// broker at URL while the program runs, /Q alone to mqtt://127.0.0.1:1883.
// The URL's query holds the settings:
//   mqtt[s]://HOST[:PORT][/][?prefix=TOPIC&queue=N&discovery=off
//                            &credentials=FILE&ca=FILE&cert=FILE&key=FILE]
// The user name and password never come from the command line, which every
// user of the machine can read: they come from a credentials file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kvn {

inline constexpr int kDefaultMqttPort = 1883;
inline constexpr int kDefaultMqttsPort = 8883;
// A day of records at the default logging period (one record every 11 ticks
// of 100 ms: 78 546 a day), with room to spare.
inline constexpr std::size_t kDefaultMqttQueue = 100000;
inline constexpr std::size_t kMaxMqttQueue = 10000000;
// The program's exit status when the option cannot be used.
inline constexpr int kMqttRefusedStatus = 4;

struct MqttSettings {
  // The URL as given, without its query: what messages name.
  std::string url;
  bool tls = false;
  std::string host;  // a name, an IPv4 address or an IPv6 address (no brackets)
  int port = kDefaultMqttPort;
  // The topic prefix; empty: kvnvb/<host name>.
  std::string prefix;
  std::size_t queue = kDefaultMqttQueue;
  bool discovery = true;
  // Files named by the settings; empty when not given.
  std::string credentials;
  std::string ca;
  std::string cert;
  std::string key;
  // From the credentials file.
  std::string username;
  std::string password;
};

struct MqttRequest {
  // Absent when the command line holds no /Q, or when problem is set.
  std::optional<MqttSettings> settings;
  // Why the /Q could not be used, as a sentence for the user.
  std::optional<std::string> problem;
};

// Reads the first /Q of the command line, in either case, anywhere in it. Its
// value runs from the "=" to the next blank; settings are percent-decoded.
MqttRequest ParseMqttOption(std::string_view commandLine);

// The command line with the value of every /Q taken out
// ("/Q=mqtt://h/x?ca=/l" becomes "/Q"), so that the other options are not
// read inside a URL.
std::string WithoutMqttValue(std::string_view commandLine);

// A topic prefix fit for publishing: not empty, no wildcard (+ #), no NUL,
// neither starting nor ending with "/".
bool IsTopicPrefix(std::string_view prefix);

// The host name as one topic level: characters other than letters, digits,
// "-" and "_" become "_"; an empty name gives "unnamed".
std::string TopicLevel(std::string_view name);

// The credentials of the settings: the file of their "credentials" setting,
// or else, when systemd hands the program credentials (LoadCredential=), the
// one named "mqtt" in credentialsDirectory, if there is one; none otherwise
// (the broker is asked without a user name). The reason when a file cannot
// be used.
std::optional<std::string> LoadMqttCredentials(MqttSettings& settings,
                                               const char* credentialsDirectory);

// The reason, naming the file, when a TLS file of the settings (ca, cert,
// key) cannot be read.
std::optional<std::string> CheckMqttFiles(const MqttSettings& settings);

// Reads the user name and password of a credentials file into settings:
// lines "username=NAME" and "password=SECRET", blank lines and lines
// beginning with "#" skipped, nothing else; a file of neither names no
// user. The reason, naming the file, when it cannot be read or holds
// anything else.
std::optional<std::string> ReadMqttCredentials(const std::string& path, MqttSettings& settings);

}  // namespace kvn
