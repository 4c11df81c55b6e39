#pragma once
// A card terminal reached through a tovan server: tovan://HOST:DATAPORT:CTRLPORT
// (line settings sent as control frames) or tovan://HOST:DATAPORT (the line as
// the server has it).
#include "terminals/terminal_line.h"

namespace terminal_port {

// True for names of the tovan:// form, which never name a local file.
bool IsTovanName(const std::string& name);
// Connects within 5 seconds; null with the reason as the last error.
std::unique_ptr<TerminalLine> OpenTovanLine(const std::string& name);

}  // namespace terminal_port
