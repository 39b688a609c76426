// The kinds of values the command lines take, each read by one parser: the whole text or nothing
// (no trailing characters, no hexadecimal, no exponent, no empty text), within its range. Each
// returns nullopt for a text it does not take; the caller says which option wanted what. Main
// thread, at start-up (any thread may call them; not real-time safe).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "control/hours.h"

namespace vordel {

// Decimal digits with an optional leading minus: "7770", "-3".
std::optional<std::int64_t> ParseWholeNumber(const std::string& text, std::int64_t min,
                                             std::int64_t max);
// A decimal number without exponent: "3", "2.5", "-0.75", ".5".
std::optional<double> ParseDecimal(const std::string& text, double min, double max);
// "N/D": 1 to 32 beats of a whole, half, quarter, eighth or sixteenth note.
std::optional<std::pair<int, int>> ParseTimeSignature(const std::string& text);
// "H:MM" or "HH:MM", 00:00 to 23:59 (24:00 too when `end`): minutes of the day.
std::optional<int> ParseTimeOfDay(const std::string& text, bool end);
// "HH:MM-HH:MM,..." (--hours): nullopt with the reason, naming the part that is not a range.
std::optional<OpeningHours> ParseOpeningHours(const std::string& text, std::string* error);

}  // namespace vordel
