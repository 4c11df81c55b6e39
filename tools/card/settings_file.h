#pragma once
// The files kardo-card reads: a card layout with the record settings, and a
// service-card record. Both are text of "key = value" lines; '#' starts a
// comment. docs/kardo-card.md describes the keys.
#include <kardo/card_records.h>

#include <stdexcept>
#include <string>

namespace kardo_card_tool {

struct SettingsError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What initCardType and the write commands take besides the terminal.
struct RecordSettings {
    _kardodll_CHIP chip;
    int ppslen = 12;
    int patlen = 6;
    int patmode = 0;
    int mode = 0;  // the pat record's mode byte
    unsigned char stamp[6] = {};
};

// The built-in layout: the pps record in the first two rows of pps entry 0,
// the pat record in the first row of pat entry 0, no extra layouts.
RecordSettings DefaultSettings();

// Replaces the layout of `settings` by the one of a layout file's text
// (blank where the file says nothing) and applies the file's settings;
// `origin` names the file in messages. Throws SettingsError with the line of the first problem.
void ParseLayoutText(const std::string& text, const std::string& origin, RecordSettings& settings);

// A service-card record from a file's text: every field has a default, the
// file gives those it changes.
_kardodll_sc4tag ParseServiceText(const std::string& text, const std::string& origin);

// A whole file's text; throws SettingsError when it cannot be read.
std::string ReadFile(const std::string& path);

// Parses the setting values shared by files and options.
int ParseSetting(const std::string& key, const std::string& value, int low, int high);
void ParseStamp(const std::string& value, unsigned char stamp[6]);

}  // namespace kardo_card_tool
