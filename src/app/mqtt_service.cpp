#include "app/mqtt_service.h"

#include <cstddef>
#include <cstdio>

#include "panel/env_form.h"

#if KVN_WITH_MQTT
#include "driver/card_ranges.h"
#include "mqtt/mqtt_link.h"
#else
namespace kvn {
class MqttLink {};
}  // namespace kvn
#endif

namespace kvn {

MqttService::MqttService(EnvForm& form, const ProgramValues& values)
    : form_(form), values_(values) {}

MqttService::~MqttService() { stop(); }

#if KVN_WITH_MQTT

std::optional<std::string> MqttService::prepare(const std::string& commandLine,
                                                const char* credentialsDirectory) {
  MqttRequest request = ParseMqttOption(commandLine);
  if (request.problem) return request.problem;
  if (!request.settings) return std::nullopt;
  if (auto problem = CheckMqttFiles(*request.settings)) return problem;
  if (auto problem = LoadMqttCredentials(*request.settings, credentialsDirectory)) return problem;
  settings_ = std::move(request.settings);
  return std::nullopt;
}

std::optional<std::string> MqttService::start(const std::string& hostName) {
  if (!settings_ || link_) return std::nullopt;
  const std::vector<std::string> entries = FormatRanges(values_.cardRanges).ioBase;
  const auto index = static_cast<std::size_t>(values_.brdAddrIndex);
  const std::string address =
      values_.brdAddrIndex >= 0 && index < entries.size() ? entries[index] : "none";
  if (settings_->prefix.empty()) settings_->prefix = "kvnvb/" + TopicLevel(hostName);
  auto link =
      std::make_unique<MqttLink>(*settings_, MqttTopics(settings_->prefix, hostName, address));
  if (auto problem = link->start()) return problem;
  link_ = std::move(link);
  PanelScan& scan = form_.scan();
  scan.addRecordTaker([this](const Readings& readings, ReadGroups groups) {
    if (!link_) return;
    const Readings::Time when = readings.temperatureRead.value_or(Readings::Time());
    link_->push(MqttRecord::From(readings, groups, when, ++sequence_));
  });
  scan.addReadingsListener([this](const Readings&, ReadGroups) {
    if (link_ && link_->hasNotices()) tellNotices();
  });
  return std::nullopt;
}

void MqttService::stop() {
  if (!link_) return;
  link_->stop();
  tellNotices();
  link_.reset();
}

void MqttService::tellNotices() {
  for (const std::string& notice : link_->takeNotices()) {
    std::fprintf(stderr, "kvnvb_DazEvo: %s\n", notice.c_str());
    form_.logNote(notice);
  }
  std::fflush(stderr);
}

#else

std::optional<std::string> MqttService::prepare(const std::string& commandLine, const char*) {
  const MqttRequest request = ParseMqttOption(commandLine);
  if (!request.settings && !request.problem) return std::nullopt;
  return "This build of kvnvb_DazEvo cannot publish over MQTT, so /Q cannot be used. "
         "Start it without /Q; the Linux build publishes.";
}
std::optional<std::string> MqttService::start(const std::string&) { return std::nullopt; }
void MqttService::stop() {}
void MqttService::tellNotices() {}

#endif

}  // namespace kvn
