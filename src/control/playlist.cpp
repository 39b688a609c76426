#include "control/playlist.h"

#include <algorithm>
#include <fstream>
#include <numeric>
#include <sstream>

#include "control/text_fields.h"

namespace vordel {
namespace {

// Words as a shell splits them: white space between, quotes (' or ") keeping one together.
std::optional<std::vector<std::string>> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (char c : line) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      in_word = true;
    } else if (c == ' ' || c == '\t') {
      if (in_word) {
        words.push_back(word);
        word.clear();
        in_word = false;
      }
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quote != 0) {
    return std::nullopt;
  }
  if (in_word) {
    words.push_back(word);
  }
  return words;
}

// One line: an entry, or why it makes none.
std::optional<PlaylistEntry> ReadLine(const std::string& line, std::string* reason) {
  PlaylistEntry entry;
  std::string text = line;
  if (line.find("--clock") != std::string::npos || line.rfind("vordel-compose", 0) == 0) {
    const auto words = Words(line);
    if (!words) {
      *reason = "a quote is not closed";
      return std::nullopt;
    }
    std::optional<std::string> string;
    for (std::size_t i = 0; i < words->size(); ++i) {
      const std::string& w = (*words)[i];
      if (i == 0 && w == "vordel-compose") {
        continue;
      }
      if (w == "--dump") {
        continue;
      }
      if (w == "--rest-planner-started") {
        entry.carried.rest_planner_started = true;
      } else if (w == "--clock" && i + 1 < words->size()) {
        const auto clock = ParseClockValue((*words)[++i]);
        if (!clock) {
          *reason = "--clock takes a whole number of milliseconds, not '" + (*words)[i] + "'";
          return std::nullopt;
        }
        entry.clock_ms = static_cast<std::int64_t>(*clock);
      } else if (w.rfind("--", 0) == 0) {
        *reason = "'" + w + "' is not an option of a playlist line (--clock MS, " +
                  "--rest-planner-started)";
        return std::nullopt;
      } else if (string) {
        *reason = "more than one parameter string (quote the string)";
        return std::nullopt;
      } else {
        string = w;
      }
    }
    if (!string) {
      *reason = "no parameter string";
      return std::nullopt;
    }
    if (!entry.clock_ms && entry.carried.rest_planner_started) {
      *reason = "--rest-planner-started goes with --clock";
      return std::nullopt;
    }
    text = *string;
  }
  entry.parameters = PieceParameters::Parse(text);
  if (!entry.parameters.accepted()) {
    *reason = entry.parameters.refusal();
    return std::nullopt;
  }
  return entry;
}

}  // namespace

Playlist ParsePlaylist(const std::string& text, const std::string& source) {
  Playlist list;
  list.source = source;
  std::istringstream in(text);
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::string reason;
    if (auto entry = ReadLine(line, &reason)) {
      entry->line = number;
      list.entries.push_back(std::move(*entry));
    } else {
      std::string skipped = source;
      skipped.append(":").append(std::to_string(number)).append(": ").append(reason);
      list.skipped.push_back(std::move(skipped));
    }
  }
  return list;
}

std::optional<Playlist> LoadPlaylist(const std::string& path, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read the playlist " + path;
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    *error = "cannot read the playlist " + path;
    return std::nullopt;
  }
  Playlist list = ParsePlaylist(text.str(), path);
  if (list.entries.empty()) {
    *error = "the playlist " + path + " holds no line that makes a piece" +
             (list.skipped.empty() ? "" : " (" + list.skipped.front() + ")");
    return std::nullopt;
  }
  return list;
}

PlaylistOrder::PlaylistOrder(std::size_t size, bool shuffle, std::uint32_t seed)
    : shuffle_(shuffle), rng_(seed), order_(size) {
  NewRound();
}

void PlaylistOrder::NewRound() {
  std::iota(order_.begin(), order_.end(), std::size_t{0});
  if (shuffle_ && order_.size() > 1) {
    std::shuffle(order_.begin(), order_.end(), rng_);
    // Never the same string twice in a row, across the rounds too.
    if (last_ && order_.front() == *last_) {
      std::swap(order_.front(), order_.back());
    }
  }
  position_ = 0;
}

std::size_t PlaylistOrder::Next() {
  if (order_.empty()) {
    return 0;
  }
  if (position_ == order_.size()) {
    NewRound();
  }
  last_ = order_[position_++];
  return *last_;
}

}  // namespace vordel
