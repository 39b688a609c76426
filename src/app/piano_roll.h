// The piano roll under the counters: the piece's notes (time across, key up, one colour per
// channel), octave lines labelled C2, C3 ..., a time axis in minutes:seconds, the section lines
// with their numbers and functions, a legend of the ensemble's four instruments in their colours,
// and the playback position. A piece longer than the view shows a window of time that turns
// like a page as the playhead moves on; the mouse wheel zooms. The notes are drawn once per page
// and size; a repaint only adds the playhead. Window thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "composer/piece.h"

namespace vordel {

// One colour per channel, 1 to 4.
extern const std::array<QColor, 4> kChannelColours;

class PianoRoll {
 public:
  // A new piece (serial changes when the piece does), with its notes, its sections and the
  // instruments of its ensemble.
  void SetPiece(int serial, const Piece& piece);
  void Draw(QPainter& painter, const QRect& area, std::int64_t playhead);
  // One wheel step: positive zooms in.
  void Zoom(int steps);

  std::int64_t ViewLength() const { return view_; }
  std::int64_t ViewStart() const { return start_; }
  // "m:ss" of a tick.
  static std::string TimeLabel(std::int64_t tick);
  // A step between axis labels that fits about `labels` of them into `length` ticks.
  static std::int64_t AxisStep(std::int64_t length, int labels);

  // A label wanted at x (its left edge), in a long and a short form with their widths.
  struct Label {
    int x = 0;
    std::string text;
    int width = 0;
    std::string short_text;  // "" when there is none
    int short_width = 0;
  };
  // The labels that fit side by side in [left, right), in order, none over another (a gap of
  // `gap` pixels apart): one that runs past the right edge is moved in to end there, one that
  // would touch the one before takes its short form or is left out. Each kept label's text
  // and x.
  static std::vector<std::pair<int, std::string>> FitLabels(const std::vector<Label>& labels,
                                                            int left, int right, int gap);
  // The part of a key's row that a note of `channel` (1-4) fills, so that notes of different
  // channels on one key at one time all show: its offset from the row's top and its height.
  static std::pair<int, int> NoteBand(int row_height, int channel);

 private:
  void Render(const QSize& size);
  std::int64_t PageStart(std::int64_t playhead) const;

  int serial_ = -1;
  Piece piece_;
  std::int64_t end_ = 1;
  int low_ = 48;
  int high_ = 72;
  std::int64_t view_ = 1;   // ticks visible
  std::int64_t start_ = 0;  // first visible tick
  QImage image_;
  int image_serial_ = -1;
  std::int64_t image_start_ = -1;
  std::int64_t image_view_ = -1;
};

}  // namespace vordel
