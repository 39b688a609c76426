// Pieces for tests of the composer and the layers above it: composed from a string, or made by
// hand from events, and printed as vordel-compose --dump prints them.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "composer/piece_builder.h"

namespace vordel::testing {

// The piece of `text` at `clock_ms`, as a fresh process composes it (diagnostics dropped).
inline Piece ComposeText(const std::string& text, std::int64_t clock_ms,
                         bool rest_planner_started = false, int ensemble = 0) {
  std::ostringstream quiet;
  return ComposePiece(PieceParameters::Parse(text), clock_ms, {rest_planner_started}, ensemble,
                      quiet)
      ->piece;
}

// A piece as vordel-compose --dump prints it: objects with onsets and ends, events, total.
inline std::string DumpLines(const Piece& piece) {
  std::ostringstream out;
  int k = 1;
  for (const PieceSection& s : piece.sections()) {
    out << "object " << k++ << " onset " << s.onset << " end " << s.end << '\n';
    for (const ComposedEvent& e : s.events) {
      out << ">EV" << e.channel << ',' << e.key << ',' << e.velocity << ',' << e.time << ','
          << e.length << '\n';
    }
  }
  out << "total " << piece.total_ms() << '\n';
  return out.str();
}

// One timed event of a hand-made section: channel, key, velocity (0 ends a note), time.
struct HandEvent {
  int ch;
  int key;
  std::int64_t vel;
  std::int64_t time;
};

// A piece whose sections hold exactly these events, in this order.
inline Piece HandPiece(const std::vector<std::vector<HandEvent>>& sections,
                       std::int64_t total_ms = 0, int ensemble = 0) {
  auto body = std::make_shared<PieceBody>();
  int number = 1;
  for (const auto& events : sections) {
    PieceSection s;
    s.number = number++;
    for (const HandEvent& e : events) {
      s.events.push_back({e.ch, e.key, e.vel, e.time, 0, 0});
    }
    body->sections.push_back(std::move(s));
  }
  body->total_ms = total_ms;
  return AssemblePiece(std::move(body), ensemble);
}

// FNV-1a, 64 bits: a stable fingerprint of a dump or a file.
inline std::string Fingerprint(const std::string& bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : bytes) {
    h = (h ^ c) * 0x100000001b3ULL;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

// The rows of pieces/corpus.tsv: pieces made by an earlier, checked build, with the
// fingerprints of their dumps and their Standard MIDI Files.
struct CorpusPiece {
  std::int64_t clock;
  bool rest_planner_started;
  std::string dump;
  std::string midi;
  std::string text;
};

inline std::vector<CorpusPiece> LoadCorpus() {
  std::ifstream in(std::string(VORDEL_PIECES_DIR) + "/corpus.tsv");
  std::vector<CorpusPiece> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::istringstream row(line);
    CorpusPiece c;
    std::string clock;
    std::string started;
    std::string escaped;
    std::getline(row, clock, '\t');
    std::getline(row, started, '\t');
    std::getline(row, c.dump, '\t');
    std::getline(row, c.midi, '\t');
    std::getline(row, escaped);
    c.clock = std::stoll(clock);
    c.rest_planner_started = started == "1";
    for (std::size_t i = 0; i < escaped.size(); ++i) {
      if (escaped[i] == '\\' && i + 1 < escaped.size()) {
        const char e = escaped[++i];
        c.text += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
      } else {
        c.text += escaped[i];
      }
    }
    rows.push_back(c);
  }
  return rows;
}

}  // namespace vordel::testing
