#include "app/metrics_service.h"

#include <cstddef>

#include "driver/card_ranges.h"
#include "metrics/metrics_endpoint.h"
#include "metrics/metrics_option.h"
#include "panel/panel_scan.h"

namespace kvn {

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

}  // namespace kvn
