#include "mqtt/mqtt_option.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace kvn {

namespace {

constexpr const char* kEnding = " The program ends; start it again with a /Q it can use.";

bool IsBlank(char c) { return c == ' '; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view start) {
  if (text.size() < start.size()) return false;
  for (std::size_t i = 0; i < start.size(); ++i)
    if (Lower(text[i]) != start[i]) return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// %XX escapes decoded; absent for a broken escape or an escaped NUL.
std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexDigit(text[i + 1]);
    const int low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

bool IsIpv6Char(char c) { return HexDigit(c) >= 0 || c == ':' || c == '.'; }

std::optional<bool> OnOff(std::string_view value) {
  if (value == "on" || value == "true" || value == "yes" || value == "1") return true;
  if (value == "off" || value == "false" || value == "no" || value == "0") return false;
  return std::nullopt;
}

struct Parsed {
  MqttSettings settings;
  std::string why;
};

// Parses the URL; the reason in why when it cannot be used.
bool ParseUrl(std::string_view url, Parsed& out) {
  MqttSettings& s = out.settings;
  const auto refuse = [&out](std::string why) {
    out.why = std::move(why);
    return false;
  };
  std::string_view rest;
  if (StartsWithNoCase(url, "mqtts://")) {
    s.tls = true;
    s.port = kDefaultMqttsPort;
    rest = url.substr(8);
  } else if (StartsWithNoCase(url, "mqtt://")) {
    rest = url.substr(7);
  } else {
    return refuse("the URL must begin with mqtt:// or mqtts://");
  }
  const std::size_t queryAt = rest.find('?');
  const std::string_view query =
      queryAt == std::string_view::npos ? std::string_view() : rest.substr(queryAt + 1);
  const std::string_view beforeQuery = rest.substr(0, queryAt);
  const std::size_t pathAt = beforeQuery.find('/');
  const std::string_view authority = beforeQuery.substr(0, pathAt);
  const std::string_view path =
      pathAt == std::string_view::npos ? std::string_view() : beforeQuery.substr(pathAt);
  s.url = std::string(url.substr(0, url.size() - rest.size())) + std::string(authority);

  if (authority.find('@') != std::string_view::npos)
    return refuse(
        "a user name or password in the URL could be read by every user of the "
        "machine; put them into a credentials file and name it with "
        "?credentials=FILE");
  if (path.size() > 1) return refuse("the URL has a path; topics are set with ?prefix=TOPIC");

  std::string_view portText;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return refuse("the IPv6 address has no closing ]");
    s.host = std::string(authority.substr(1, close - 1));
    for (const char c : s.host)
      if (!IsIpv6Char(c)) return refuse("the address in brackets is not an IPv6 address");
    if (s.host.empty()) return refuse("the brackets hold no address");
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':')
      return refuse(
          "the host is followed by "
          "something other than :PORT");
    if (!after.empty()) portText = after.substr(1);
    if (after.size() == 1) return refuse("the port must be a number from 1 to 65535");
  } else {
    const std::size_t colon = authority.find(':');
    s.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = authority.substr(colon + 1);
      if (portText.empty()) return refuse("the port must be a number from 1 to 65535");
    }
    for (const char c : s.host)
      if (!IsHostChar(c))
        return refuse(
            "the host name holds a character other than letters, "
            "digits, \"-\", \".\" and \"_\"");
  }
  if (s.host.empty()) return refuse("the URL names no host");
  if (!portText.empty()) {
    int port = 0;
    const char* const end = portText.data() + portText.size();
    const auto [stop, error] = std::from_chars(portText.data(), end, port);
    if (error != std::errc() || stop != end || port < 1 || port > 65535)
      return refuse("the port must be a number from 1 to 65535");
    s.port = port;
  }

  std::vector<std::string> seen;
  std::size_t at = 0;
  while (at < query.size()) {
    std::size_t amp = query.find('&', at);
    if (amp == std::string_view::npos) amp = query.size();
    const std::string_view item = query.substr(at, amp - at);
    at = amp + 1;
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    const std::string key(item.substr(0, eq));
    if (eq == std::string_view::npos) return refuse("the setting " + key + " has no value");
    const std::optional<std::string> decoded = PercentDecoded(item.substr(eq + 1));
    if (!decoded) return refuse("the value of " + key + " holds a broken %-escape");
    const std::string& value = *decoded;
    for (const std::string& k : seen)
      if (k == key) return refuse("the setting " + key + " is given twice");
    seen.push_back(key);
    if (key == "prefix") {
      if (!IsTopicPrefix(value))
        return refuse(
            "the prefix must be a topic without + or #, neither beginning nor "
            "ending with /");
      s.prefix = value;
    } else if (key == "queue") {
      std::size_t n = 0;
      const char* const end = value.data() + value.size();
      const auto [stop, error] = std::from_chars(value.data(), end, n);
      if (value.empty() || error != std::errc() || stop != end || n < 1 || n > kMaxMqttQueue)
        return refuse("the queue must be a number of records from 1 to " +
                      std::to_string(kMaxMqttQueue));
      s.queue = n;
    } else if (key == "discovery") {
      const std::optional<bool> on = OnOff(value);
      if (!on) return refuse("discovery must be on or off");
      s.discovery = *on;
    } else if (key == "credentials" || key == "ca" || key == "cert" || key == "key") {
      if (value.empty()) return refuse("the setting " + key + " names no file");
      (key == "credentials" ? s.credentials
       : key == "ca"        ? s.ca
       : key == "cert"      ? s.cert
                            : s.key) = value;
    } else {
      return refuse("the setting " + key +
                    " is not known (prefix, queue, discovery, credentials, ca, cert, key)");
    }
  }
  if (!s.tls && (!s.ca.empty() || !s.cert.empty() || !s.key.empty()))
    return refuse("ca, cert and key are settings of mqtts://");
  if (s.cert.empty() != s.key.empty())
    return refuse("a client certificate needs both cert and key");
  return true;
}

}  // namespace

MqttRequest ParseMqttOption(std::string_view commandLine) {
  for (std::size_t at = 0; at + 1 < commandLine.size(); ++at) {
    if (commandLine[at] != '/' || (commandLine[at + 1] != 'Q' && commandLine[at + 1] != 'q'))
      continue;
    const std::size_t next = at + 2;
    std::size_t end = next;
    while (end < commandLine.size() && !IsBlank(commandLine[end])) ++end;
    if (next == commandLine.size() || IsBlank(commandLine[next]) || commandLine[next] == '/') {
      Parsed parsed;
      ParseUrl("mqtt://127.0.0.1", parsed);
      return {parsed.settings, std::nullopt};
    }
    if (commandLine[next] != '=')
      return {std::nullopt, "The option " + std::string(commandLine.substr(at, end - at)) +
                                " is not understood; the MQTT option is /Q or /Q=URL." + kEnding};
    const std::string_view value = commandLine.substr(next + 1, end - next - 1);
    Parsed parsed;
    if (!ParseUrl(value, parsed))
      return {std::nullopt, "The MQTT option /Q=" + std::string(value) +
                                " cannot be used: " + parsed.why + "." + kEnding};
    return {parsed.settings, std::nullopt};
  }
  return {};
}

std::string WithoutMqttValue(std::string_view commandLine) {
  std::string out;
  out.reserve(commandLine.size());
  for (std::size_t at = 0; at < commandLine.size(); ++at) {
    out += commandLine[at];
    if (commandLine[at] != '/' || at + 2 >= commandLine.size() ||
        (commandLine[at + 1] != 'Q' && commandLine[at + 1] != 'q') || commandLine[at + 2] != '=')
      continue;
    out += commandLine[at + 1];
    at += 2;
    while (at + 1 < commandLine.size() && !IsBlank(commandLine[at + 1])) ++at;
  }
  return out;
}

bool IsTopicPrefix(std::string_view prefix) {
  if (prefix.empty() || prefix.front() == '/' || prefix.back() == '/') return false;
  for (const char c : prefix)
    if (c == '+' || c == '#' || c == '\0') return false;
  return true;
}

std::string TopicLevel(std::string_view name) {
  std::string level;
  for (const char c : name)
    level += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_'
                 ? c
                 : '_';
  return level.empty() ? "unnamed" : level;
}

std::optional<std::string> LoadMqttCredentials(MqttSettings& settings,
                                               const char* credentialsDirectory) {
  if (settings.credentials.empty() && credentialsDirectory && *credentialsDirectory) {
    const std::string candidate = std::string(credentialsDirectory) + "/mqtt";
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0) settings.credentials = candidate;
  }
  if (settings.credentials.empty()) return std::nullopt;
  return ReadMqttCredentials(settings.credentials, settings);
}

std::optional<std::string> CheckMqttFiles(const MqttSettings& settings) {
  for (const std::string* file : {&settings.ca, &settings.cert, &settings.key}) {
    if (file->empty()) continue;
    std::FILE* f = std::fopen(file->c_str(), "rb");
    if (!f)
      return "The MQTT option cannot use the file " + *file + ": " + std::strerror(errno) + "." +
             kEnding;
    std::fclose(f);
  }
  return std::nullopt;
}

std::optional<std::string> ReadMqttCredentials(const std::string& path, MqttSettings& settings) {
  constexpr long kMaxBytes = 65536;
  const auto refuse = [&path](const std::string& why) {
    return "The MQTT credentials file " + path + " cannot be used: " + why + "." + kEnding;
  };
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) return refuse(std::strerror(errno));
  std::string text;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    text.append(buffer, n);
    if (text.size() > static_cast<std::size_t>(kMaxBytes))
      return refuse("it is longer than 64 KiB");
  }
  if (std::ferror(file.get())) return refuse(std::strerror(errno));

  std::optional<std::string> username;
  std::optional<std::string> password;
  std::size_t at = 0;
  int number = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::string where = "line " + std::to_string(number);
    if (line.find('\0') != std::string_view::npos) return refuse(where + " holds a NUL byte");
    const std::size_t eq = line.find('=');
    const std::string_view key = line.substr(0, eq);
    if (eq == std::string_view::npos || (key != "username" && key != "password"))
      return refuse(where + " is neither username=NAME nor password=SECRET");
    std::optional<std::string>& slot = key == "username" ? username : password;
    if (slot) return refuse(std::string(key) + " is given twice");
    slot = std::string(line.substr(eq + 1));
  }
  // A file of neither (or of comments only) stands for a broker that asks for
  // no user name: the credential a unit must hand over is still there.
  if (!username && !password) return std::nullopt;
  if (!username || username->empty()) return refuse("it gives no username=NAME");
  settings.username = *username;
  settings.password = password.value_or("");
  return std::nullopt;
}

}  // namespace kvn
