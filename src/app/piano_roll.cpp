#include "app/piano_roll.h"

#include <QFont>
#include <QFontMetrics>
#include <algorithm>
#include <cstdio>
#include <optional>

#include "composer/musical_object.h"
#include "control/text_fields.h"
#include "midi/message.h"

namespace vordel {
namespace {

// Longer pieces are shown a window at a time.
constexpr std::int64_t kWholePieceUpTo = std::int64_t{3} * 60 * 1000;
constexpr std::int64_t kDefaultView = std::int64_t{2} * 60 * 1000;
constexpr std::int64_t kShortestView = std::int64_t{5} * 1000;
constexpr int kKeyLabelWidth = 34;
constexpr int kLegendHeight = 18;
constexpr int kAxisHeight = 16;

const QColor kBackground(252, 252, 248);
const QColor kGrid(225, 225, 220);
const QColor kLabel(90, 90, 90);
const QColor kPlayhead(200, 0, 0);

}  // namespace

const std::array<QColor, 4> kChannelColours = {QColor(200, 60, 40), QColor(40, 120, 200),
                                               QColor(60, 160, 60), QColor(170, 90, 190)};

std::string PianoRoll::TimeLabel(std::int64_t tick) {
  return MinutesAndSeconds(tick);  // a tick is a millisecond
}

std::int64_t PianoRoll::AxisStep(std::int64_t length, int labels) {
  static const std::int64_t kSteps[] = {1000,   2000,    5000,    10000,   15000,
                                        30000,  60000,   120000,  300000,  600000,
                                        900000, 1800000, 3600000, 7200000, 14400000};
  for (std::int64_t s : kSteps) {
    if (length / s <= labels) {
      return s;
    }
  }
  return kSteps[std::size(kSteps) - 1];
}

std::vector<std::pair<int, std::string>> PianoRoll::FitLabels(const std::vector<Label>& labels,
                                                              int left, int right, int gap) {
  std::vector<std::pair<int, std::string>> kept;
  int free_from = left;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const Label& l = labels[i];
    const int next = i + 1 < labels.size() ? labels[i + 1].x : right;
    // The long form when it ends before the next label begins, else the short one.
    std::optional<std::pair<int, std::string>> chosen;
    for (const auto& [text, width] : {std::pair<std::string, int>{l.text, l.width},
                                      std::pair<std::string, int>{l.short_text, l.short_width}}) {
      const int x = std::min(l.x, right - width);
      if (text.empty() || x < free_from) {
        continue;
      }
      chosen = std::make_pair(x, text);
      if (x + width + gap <= next) {
        break;
      }
    }
    if (chosen) {
      const int width = chosen->second == l.text ? l.width : l.short_width;
      free_from = chosen->first + width + gap;
      kept.push_back(*chosen);
    }
  }
  return kept;
}

std::pair<int, int> PianoRoll::NoteBand(int row_height, int channel) {
  // Each channel sits a quarter row lower than the one before, so a note hidden under another
  // still shows a strip of its own.
  const int step = row_height / 4;
  const int c = std::clamp(channel, 1, 4) - 1;
  return {c * step, std::max(1, row_height - 3 * step)};
}

void PianoRoll::SetPiece(int serial, const Piece& piece) {
  if (serial == serial_ && piece.ensemble() == piece_.ensemble()) {
    return;
  }
  serial_ = serial;
  piece_ = piece;
  end_ = std::max<std::int64_t>(piece.end_tick(), 1);
  low_ = 127;
  high_ = 0;
  for (const Note& n : piece.Notes()) {
    low_ = std::min(low_, n.key);
    high_ = std::max(high_, n.key);
  }
  if (piece.Notes().empty()) {
    low_ = 48;
    high_ = 72;
  }
  low_ = std::max(0, low_ - 2);
  high_ = std::min(127, high_ + 2);
  view_ = end_ <= kWholePieceUpTo ? end_ : kDefaultView;
  start_ = 0;
  image_serial_ = -1;
}

void PianoRoll::Zoom(int steps) {
  double v = static_cast<double>(view_);
  for (int i = 0; i < std::abs(steps); ++i) {
    v = steps > 0 ? v * 0.8 : v * 1.25;
  }
  view_ = std::clamp(static_cast<std::int64_t>(v), std::min(kShortestView, end_), end_);
  image_serial_ = -1;
}

std::int64_t PianoRoll::PageStart(std::int64_t playhead) const {
  if (view_ >= end_) {
    return 0;
  }
  // Pages of half a view: the playhead runs through the middle half, then the page turns.
  const std::int64_t half = std::max<std::int64_t>(view_ / 2, 1);
  const std::int64_t page = std::max<std::int64_t>(playhead - view_ / 4, 0) / half * half;
  return std::min(page, end_ - view_);
}

void PianoRoll::Render(const QSize& size) {
  image_ = QImage(size, QImage::Format_RGB32);
  image_.fill(kBackground);
  QPainter p(&image_);
  QFont small = p.font();
  small.setPixelSize(10);
  p.setFont(small);
  const QRect plot(kKeyLabelWidth, kLegendHeight, size.width() - kKeyLabelWidth - 1,
                   size.height() - kLegendHeight - kAxisHeight);
  if (plot.width() < 8 || plot.height() < 8) {
    return;
  }
  const double px_per_tick = static_cast<double>(plot.width()) / static_cast<double>(view_);
  const double row = static_cast<double>(plot.height()) / (high_ - low_ + 1);
  auto x_of = [&](std::int64_t tick) {
    return plot.left() + static_cast<int>(static_cast<double>(tick - start_) * px_per_tick);
  };

  // Legend: the four instruments of the ensemble in their colours.
  int lx = kKeyLabelWidth;
  const QFontMetrics fm(small);
  for (int ch = 0; ch < 4; ++ch) {
    p.fillRect(lx, 3, 12, 12, kChannelColours[static_cast<std::size_t>(ch)]);
    const QString name = QString::fromStdString(
        std::to_string(ch + 1) + " " +
        GetGMPatchName(
            ProgramMessage(1, static_cast<unsigned char>(piece_.tracks()[ch].Patch)).bytes[1]));
    p.setPen(kLabel);
    p.drawText(lx + 16, 13, name);
    lx += 16 + fm.horizontalAdvance(name) + 14;
  }

  // Octave lines at every C, labelled.
  for (int key = (low_ + 11) / 12 * 12; key <= high_; key += 12) {
    const int y = plot.top() + static_cast<int>((high_ - key + 0.5) * row);
    p.setPen(kGrid);
    p.drawLine(plot.left(), y, plot.right(), y);
    p.setPen(kLabel);
    p.drawText(2, y + 4, QString("C%1").arg(key / 12 - 1));
  }

  // Time axis; the last label moves in rather than being cut at the edge.
  auto label = [&](int x, const std::string& text, const std::string& short_text) {
    return Label{x, text, fm.horizontalAdvance(QString::fromStdString(text)), short_text,
                 short_text.empty() ? 0 : fm.horizontalAdvance(QString::fromStdString(short_text))};
  };
  const std::int64_t step = AxisStep(view_, std::max(2, plot.width() / 70));
  std::vector<Label> times;
  for (std::int64_t t = (start_ + step - 1) / step * step; t <= start_ + view_; t += step) {
    const int x = x_of(t);
    p.setPen(kGrid);
    p.drawLine(x, plot.top(), x, plot.bottom());
    times.push_back(label(x - 2, TimeLabel(t), ""));
  }
  p.setPen(kLabel);
  for (const auto& [x, text] : FitLabels(times, 0, size.width(), 6)) {
    p.drawText(x, plot.bottom() + 13, QString::fromStdString(text));
  }

  // Notes: a channel's own band of the key's row, and a darker edge, so that notes of several
  // channels on one key at one time all show.
  const int h = std::max(1, static_cast<int>(row));
  for (const Note& n : piece_.Notes()) {
    const std::int64_t end = n.onset + n.length;
    if (end < start_ || n.onset > start_ + view_) {
      continue;
    }
    const QColor colour = kChannelColours[static_cast<std::size_t>((n.channel - 1) & 3)];
    const auto [offset, height] = NoteBand(h, n.channel);
    const int x = x_of(std::max(n.onset, start_));
    const int w = std::max(1, x_of(std::min(end, start_ + view_)) - x);
    const int y = plot.top() + static_cast<int>((high_ - n.key) * row) + offset;
    p.fillRect(x, y, w, height, colour);
    if (height >= 3 && w >= 3) {
      p.setPen(colour.darker(150));
      p.setBrush(Qt::NoBrush);
      p.drawRect(x, y, w - 1, height - 1);
    }
  }

  // Section lines with their numbers and functions (just the number where they crowd).
  std::vector<Label> sections;
  for (const PieceSection& s : piece_.sections()) {
    if (s.onset < start_ || s.onset > start_ + view_) {
      continue;
    }
    const int x = x_of(s.onset);
    p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
    p.drawLine(x, plot.top(), x, plot.bottom());
    sections.push_back(label(x + 3, std::to_string(s.number) + " " + FunktionName(s.function),
                             std::to_string(s.number)));
  }
  p.setPen(QColor(60, 60, 60));
  for (const auto& [x, text] : FitLabels(sections, plot.left(), plot.right(), 4)) {
    p.drawText(x, plot.top() + 11, QString::fromStdString(text));
  }
  p.setPen(QColor(90, 90, 90));
  p.setBrush(Qt::NoBrush);
  p.drawRect(plot.adjusted(0, 0, -1, -1));
}

void PianoRoll::Draw(QPainter& painter, const QRect& area, std::int64_t playhead) {
  start_ = PageStart(playhead);
  if (image_serial_ != serial_ || image_.size() != area.size() || image_start_ != start_ ||
      image_view_ != view_) {
    Render(area.size());
    image_serial_ = serial_;
    image_start_ = start_;
    image_view_ = view_;
  }
  painter.drawImage(area.topLeft(), image_);
  const int plot_width = area.width() - kKeyLabelWidth - 1;
  if (plot_width < 8) {
    return;
  }
  const double fraction =
      std::clamp(static_cast<double>(playhead - start_) / static_cast<double>(view_), 0.0, 1.0);
  const int x = area.left() + kKeyLabelWidth + static_cast<int>(fraction * (plot_width - 1));
  const int top = area.top() + kLegendHeight;
  const int bottom = area.bottom() - kAxisHeight;
  painter.setPen(QPen(kPlayhead, 2));
  painter.drawLine(x, top, x, bottom);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kPlayhead);
  const QPoint head[3] = {QPoint(x - 5, top), QPoint(x + 5, top), QPoint(x, top + 7)};
  painter.drawPolygon(head, 3);
  painter.setBrush(Qt::NoBrush);
}

}  // namespace vordel
