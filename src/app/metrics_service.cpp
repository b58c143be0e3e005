#include "app/metrics_service.h"

#include <cstddef>

#include "metrics/metrics_option.h"

#if KVN_WITH_METRICS
#include "driver/card_ranges.h"
#include "metrics/metrics_endpoint.h"
#include "panel/panel_scan.h"
#endif

namespace kvn {

#if KVN_WITH_METRICS

std::optional<std::string> MetricsService::Refusal(const std::string&) { return std::nullopt; }

MetricsService::MetricsService(PanelScan& scan, const ProgramValues& values,
                               const BoardDriver& driver)
    : scan_(scan), values_(values), driver_(driver),
      publisher_(std::make_shared<MetricsPublisher>()) {
  scan_.addReadingsListener([this](const Readings&, ReadGroups) {
    if (endpoint_) publish();
  });
}

MetricsService::~MetricsService() { stop(); }

std::optional<std::string> MetricsService::start(const std::string& commandLine) {
  const MetricsRequest request = ParseMetricsOption(commandLine);
  if (request.problem) return request.problem;
  if (!request.listen) return std::nullopt;
  publish();
  std::string reason;
  endpoint_ = MetricsEndpoint::Listen(*request.listen, publisher_, &reason);
  if (!endpoint_) return reason;
  return std::nullopt;
}

void MetricsService::stop() { endpoint_.reset(); }

bool MetricsService::listening() const { return endpoint_ != nullptr; }

int MetricsService::port() const { return endpoint_ ? endpoint_->port() : 0; }

void MetricsService::refreshAddress() {
  if (addressIndex_ != values_.brdAddrIndex) {
    addressIndex_ = values_.brdAddrIndex;
    const std::vector<std::string> entries = FormatRanges(values_.cardRanges).ioBase;
    const auto index = static_cast<std::size_t>(values_.brdAddrIndex);
    staged_.address = values_.brdAddrIndex >= 0 && index < entries.size() ? entries[index] : "";
  }
}

void MetricsService::publish() {
  MetricValues& v = staged_;
  v.boardOpen = values_.brdStatus == kDriverOpened;
  refreshAddress();
  v.simulated = driver_.isSimulated();
  v.readings = scan_.readings();
  v.outputs = values_.outputs;
  v.logRecords = scan_.recordsWritten();
  v.logFailed = scan_.logFailed();
  publisher_->publish(v);
}

#else

std::optional<std::string> MetricsService::Refusal(const std::string& commandLine) {
  const MetricsRequest request = ParseMetricsOption(commandLine);
  if (!request.listen && !request.problem) return std::nullopt;
  return "This build of kvnvb_DazEvo has no metrics endpoint, so /M cannot be served. "
         "Start it without /M; the Linux build serves the metrics.";
}

MetricsService::MetricsService(PanelScan&, const ProgramValues&, const BoardDriver&) {}
MetricsService::~MetricsService() = default;
std::optional<std::string> MetricsService::start(const std::string&) { return std::nullopt; }
void MetricsService::stop() {}
bool MetricsService::listening() const { return false; }
int MetricsService::port() const { return 0; }
void MetricsService::publish() {}

#endif

}  // namespace kvn
