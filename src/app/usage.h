// The program's usage text: the options it takes, printed for /? and --help.
#pragma once

#include <string_view>

namespace kvn {

// The options, one to a line, with what each does; ends in a line break.
extern const std::string_view kUsageText;

// Whether one of the arguments after the program's name asks for the usage
// text: /?, -h or --help, as a whole argument.
bool AsksForUsage(int argc, const char* const* argv);

}  // namespace kvn
