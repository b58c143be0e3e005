// The metrics endpoint of the running program: started from the command
// line's /M once the board is open, fed from the scan's readings after every
// tick, closed at Quit before the board. A build without the endpoint
// (KVN_WITH_METRICS off, as on Windows) refuses /M before the program starts.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#if KVN_WITH_METRICS
#include "metrics/board_metrics.h"
#endif

namespace kvn {

class BoardDriver;
class MetricsEndpoint;
class PanelScan;
struct ProgramValues;

class MetricsService {
 public:
  // The program's exit status when it refuses /M.
  static constexpr int kRefusedStatus = 3;
  // In a build without the endpoint, the message for a command line that
  // asks for it (any /M, well formed or not); nothing otherwise.
  static std::optional<std::string> Refusal(const std::string& commandLine);

  // The scan, the shared values and the driver must outlive the service.
  MetricsService(PanelScan& scan, const ProgramValues& values, const BoardDriver& driver);
  ~MetricsService();

  // Serves at the command line's /M, if it has one. The message for the user
  // when the option or the address cannot be used; the program goes on
  // without the endpoint then.
  std::optional<std::string> start(const std::string& commandLine);
  // Closes the endpoint; nothing listens after it returns.
  void stop();

  bool listening() const;
  int port() const;

  // Hands the latest readings and states to the endpoint.
  void publish();

 private:
#if KVN_WITH_METRICS
  // The bus address as the address list shows it, made again when the
  // entry changed.
  void refreshAddress();

  PanelScan& scan_;
  const ProgramValues& values_;
  const BoardDriver& driver_;
  std::shared_ptr<MetricsPublisher> publisher_;
  std::unique_ptr<MetricsEndpoint> endpoint_;
  MetricValues staged_;
  // The bus address entry the address text was made for.
  std::optional<std::int32_t> addressIndex_;
#endif
};

}  // namespace kvn
