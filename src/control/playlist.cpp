#include "control/playlist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <sstream>

#include "control/text_fields.h"
#include "platform/error_text.h"
#include "platform/unique_fd.h"

namespace vordel {
namespace {

// One line of the file, counted from 1, into the playlist.
void AddLine(Playlist& list, const std::string& raw, int number) {
  const std::string line = Trim(raw);
  if (line.empty() || line[0] == '#') {
    return;
  }
  std::string reason;
  if (auto recipe = ReadRecipe(line, &reason)) {
    list.entries.push_back(
        PlaylistEntry{number, std::move(recipe->parameters), recipe->clock_ms, recipe->carried});
  } else if (list.skipped.size() < Playlist::kSkippedKept) {
    std::string skipped = list.source;
    skipped.append(":").append(std::to_string(number)).append(": ").append(reason);
    list.skipped.push_back(std::move(skipped));
  } else {
    ++list.more_skipped;
  }
}

}  // namespace

Playlist ParsePlaylist(const std::string& text, const std::string& source) {
  Playlist list;
  list.source = source;
  std::istringstream in(text);
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    AddLine(list, raw, number);
  }
  return list;
}

std::optional<Playlist> LoadPlaylist(const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read the playlist " + path + ": " + ErrorText(errno);
    return std::nullopt;
  }
  return ReadPlaylist(UniqueFd(fd), path, error);
}

std::optional<Playlist> ReadPlaylist(UniqueFd file, const std::string& source, std::string* error) {
  const int fd = file.get();
  auto refuse = [&](const std::string& why) {
    *error = "cannot read the playlist " + source + ": " + why;
    return std::nullopt;
  };
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    return refuse(ErrorText(errno));
  }
  if (!S_ISREG(st.st_mode)) {
    return refuse("it is not a regular file");
  }
  const std::string too_large = "it is larger than " + std::to_string(Playlist::kMaxBytes >> 20) +
                                " MB, " + std::to_string(Playlist::kMaxLines) + " lines or " +
                                std::to_string(Playlist::kMaxLineBytes) + " bytes a line";
  if (st.st_size > Playlist::kMaxBytes) {
    return refuse(too_large);
  }
  Playlist list;
  list.source = source;
  std::string line;  // the line being read, never longer than the limit
  std::vector<char> buffer(65536);
  std::int64_t total = 0;
  int number = 0;
  for (;;) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return refuse(ErrorText(errno));
    }
    if (n == 0) {
      break;
    }
    total += n;
    if (total > Playlist::kMaxBytes) {
      return refuse(too_large);  // it grew while being read
    }
    for (const char* c = buffer.data(); c < buffer.data() + n; ++c) {
      if (*c != '\n') {
        if (line.size() == Playlist::kMaxLineBytes) {
          return refuse(too_large + " (line " + std::to_string(number + 1) + ")");
        }
        line += *c;
        continue;
      }
      if (++number > Playlist::kMaxLines) {
        return refuse(too_large);
      }
      AddLine(list, line, number);
      line.clear();
    }
  }
  if (!line.empty()) {
    if (++number > Playlist::kMaxLines) {
      return refuse(too_large);
    }
    AddLine(list, line, number);
  }
  if (list.entries.empty()) {
    *error = "the playlist " + source + " holds no line that makes a piece" +
             (list.skipped.empty() ? "" : " (" + list.skipped.front() + ")");
    return std::nullopt;
  }
  return list;
}

std::vector<std::string> SkippedLines(const Playlist& list) {
  std::vector<std::string> lines;
  for (const std::string& line : list.skipped) {
    lines.push_back("playlist line skipped: " + line);
  }
  if (list.more_skipped > 0) {
    lines.push_back("playlist: " + std::to_string(list.more_skipped) + " more lines of " +
                    list.source + " skipped");
  }
  return lines;
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
