// What the channel settings dialog does, without the dialog: it edits one
// record of the chart's channel table in place, as a preview. Apply writes
// the entered values, Ok writes them and keeps them, Cancel (and closing the
// dialog any other way than by Ok) puts back what the record held when the
// dialog was opened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chart/channel_table.h"
#include "shared/platform.h"

namespace kvn {

// The texts of the dialog's fields and the colour of its swatch.
struct ChannelEntry {
  std::string yMin;
  std::string yMax;
  std::string yText;
  std::string yUnits;
  std::string title;
  std::string abbrev;
  std::int32_t color = 0;
};

// The refusals of a Y range that is not two numbers with Min below Max; each
// button has its own.
inline constexpr std::string_view kApplyRefusal =
    "Enter Again...Make sure Min and Max are numeric and Min < Max ";
inline constexpr std::string_view kOkRefusal =
    "Enter Again...must be numeric and Minimum Value should be less than Maximum Value";

// The number a Y field holds: blanks and tabs around it aside, a plain
// decimal number (optional sign, digits with an optional point and fraction,
// optional exponent: "2", "-0.5", ".5", "1e1"). Nothing for any other text,
// and for a number too large or too small for a double.
std::optional<double> PlainDecimal(std::string_view text);

class ChannelEditor {
 public:
  enum class Button { Apply, Ok };

  // The load steps for record `channel` of the table (0..12; any other
  // number edits record 0): the record's values are kept as the saved values,
  // and the custom colours are all black. The editor keeps to this record
  // whatever record the chart asks for later.
  ChannelEditor(ChanTable& table, int channel);

  int channel() const { return channel_; }

  // The fields as the dialog shows them at load: the Y range in the shortest
  // decimal form with a zero before the point ("0.5").
  ChannelEntry loadedEntry() const;

  // Apply and Ok: when the Y fields hold numbers with Min below Max, and each
  // text the user changed can be kept in Settings.txt, writes the record in
  // the order YMin, YMax, YText, YUnits, Title, Abbrev, Color and returns
  // nothing; Ok is then remembered. Otherwise returns the message to show
  // and the record is not touched. The saved values never move.
  std::optional<std::string> write(const ChannelEntry& entry, Button button);

  // Cancel: the saved values back into the record.
  void restore();

  // The dialog goes away: the saved values back unless Ok wrote the record.
  void unload();

  bool okPressed() const { return okPressed_; }

  // The colour chooser's custom colours, kept while the dialog stays loaded.
  const CustomColors& customColors() const { return customColors_; }
  void setCustomColors(const CustomColors& colors) { customColors_ = colors; }

 private:
  ChanSetting& record() { return table_[static_cast<std::size_t>(channel_)]; }

  ChanTable& table_;
  int channel_;
  ChanSetting saved_;
  CustomColors customColors_{};
  bool okPressed_ = false;
};

}  // namespace kvn
