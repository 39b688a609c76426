#include "composer/sets.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iostream>

#include "composer/composing_context.h"

namespace vordel {

const int pitch_root[10][12] = {
    {1, 0, 11, 2, 4, 3, 5, 7, 6, 8, 10, 9}, {11, 2, 1, 0, 10, 9, 3, 6, 4, 5, 8, 7},
    {0, 4, 3, 1, 10, 9, 2, 6, 5, 7, 11, 8}, {0, 5, 4, 1, 9, 8, 2, 7, 3, 6, 11, 10},
    {10, 4, 3, 11, 6, 5, 0, 8, 7, 1, 9, 2}, {0, 7, 3, 1, 11, 6, 2, 9, 4, 3, 10, 8},
    {0, 5, 4, 1, 10, 8, 2, 7, 4, 6, 11, 9}, {0, 6, 4, 1, 9, 3, 2, 10, 8, 5, 11, 7},
    {0, 4, 2, 1, 9, 11, 3, 7, 5, 6, 10, 8}, {0, 8, 4, 1, 9, 5, 2, 10, 6, 3, 11, 7},
};

const int dynamic_root[6][7] = {
    {10, 10, 10, 10, 10, 10, 10}, {20, 4, 10, 0, 10, 4, 20}, {10, 16, 10, 20, 10, 16, 10},
    {0, 4, 8, 12, 16, 18, 10},    {10, 18, 16, 12, 8, 4, 0}, {0, 5, 0, 10, 0, 15, 0},
};

const int rhythm_root[10][4] = {
    {2, 1, 1, 0},   {2, 1, 129, 2},    {3, 2, 1, 130}, {1, 2, 1, 3},   {1, 10, 10, 10},
    {0, 1, 1, 130}, {130, 10, 10, 10}, {1, 1, 2, 1},   {130, 0, 1, 2}, {129, 0, 0, 128},
};

namespace {

const char* TypeLabel(int type) {
  switch (type) {
    case kPitchSet:
      return "pitch-set:";
    case kDynamicSet:
      return "dynamic-set:";
    case kDurationSet:
      return "duration-set:";
    case kTextureSet:
      return "texture-set:";
    default:
      return "";
  }
}

int ClampToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
}

}  // namespace

Set::Set(int t, int m) {
  newset(t, m);
}

void Set::newset(int t, int m) {
  x.reset();
  type = t;
  cursize = 0;
  mode = 0;
  mode_history = 0;
  if (m < 1) {
    *report_ << "illigal Set-size.." << std::endl;
    maxsize = 0;
    return;
  }
  maxsize = m;
  x = std::make_unique<int[]>(static_cast<std::size_t>(m));
}

void Set::insert(int t) {
  if (cursize >= maxsize || !x) {
    *report_ << "too many elements..." << std::endl;
    return;
  }
  x[static_cast<std::size_t>(cursize++)] = t;
}

int Set::member(int t) const {
  int lo = 0;
  int hi = cursize - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int v = x[static_cast<std::size_t>(mid)];
    if (v == t) {
      return 1;
    }
    if (v < t) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return 0;
}

int Set::operator[](int i) const {
  if (i < 0 || i >= cursize) {
    return 0;
  }
  return x[static_cast<std::size_t>(i)];
}

// The set goes on reporting where it did: report_ is not the copied set's.
// cppcheck-suppress operatorEqVarError
Set& Set::operator=(const Set* s) {
  if (s == nullptr || s == this) {
    return *this;
  }
  newset(s->type, s->maxsize);
  mode = s->mode;
  for (int i = 0; i < s->cursize; ++i) {
    insert(s->x[static_cast<std::size_t>(i)]);
  }
  return *this;
}

void Set::choose(int row, ComposingContext& context) {
  context.Reseed();
  RandomSource& rng = context.rng();
  switch (type) {
    case kPitchSet: {
      const int r = ((row % 10) + 10) % 10;
      for (int i = 0; i < maxsize; ++i) {
        insert(pitch_root[r][i % 12]);
      }
      break;
    }
    case kDynamicSet: {
      int dynamic_sel = 0;
      for (int i = 0; i < maxsize; ++i) {
        if (i % 7 == 0) {
          dynamic_sel = rng.rand() % 6;
        }
        insert(dynamic_root[dynamic_sel][i % 7]);
      }
      break;
    }
    case kDurationSet: {
      int rhythm_sel = 0;
      for (int i = 0; i < maxsize; ++i) {
        if (i % 4 == 0) {
          rhythm_sel = rng.rand() % 10;
        }
        insert(rhythm_root[rhythm_sel][i % 4]);
      }
      break;
    }
    case kTextureSet:
      for (int i = 0; i < maxsize; ++i) {
        insert(rng.rand() % 4);
      }
      break;
    default:
      break;
  }
}

void Set::retrograde() {
  if (x) {
    std::reverse(x.get(), x.get() + cursize);
  }
  mode_history = mode;
  mode = kRetrograde;
}

void Set::invert() {
  // Keeps the first element and mirrors every following interval, modulo 12 with the sign of
  // the dividend (so values lie in -11..11).
  if (x && cursize > 1) {
    std::int64_t prev_old = x[0];
    std::int64_t prev_new = x[0];
    for (std::size_t i = 1; i < static_cast<std::size_t>(cursize); ++i) {
      const std::int64_t old_next = x[i];
      const std::int64_t v = (prev_new - (old_next - prev_old)) % 12;
      x[i] = static_cast<int>(v);
      prev_old = old_next;
      prev_new = v;
    }
  }
  mode_history = mode;
  mode = kInverted;
}

void Set::retroinvert() {
  retrograde();
  invert();
  mode_history = mode;
  mode = kRetroInverted;
}

void Set::normal() {
  switch (mode) {
    case kRetrograde:
      retrograde();
      break;
    case kInverted:
      invert();
      break;
    case kRetroInverted:
      invert();
      retrograde();
      break;
    default:
      break;
  }
  mode_history = mode;
  mode = kNormal;
}

void Set::transpose(int interval) {
  for (int i = 0; i < cursize; ++i) {
    x[static_cast<std::size_t>(i)] = static_cast<int>(
        (static_cast<std::int64_t>(x[static_cast<std::size_t>(i)]) + interval) % 12);
  }
}

void Set::rotate_left() {
  if (x && cursize > 1) {
    std::rotate(x.get(), x.get() + 1, x.get() + cursize);
  }
}

void Set::stretch(int fact) {
  for (int i = 0; i < cursize; ++i) {
    x[static_cast<std::size_t>(i)] =
        ClampToInt(static_cast<std::int64_t>(x[static_cast<std::size_t>(i)]) * fact);
  }
}

void Set::show() const {
  if (!x) {
    return;
  }
  std::cout << TypeLabel(type);
  for (int i = 0; i < cursize; ++i) {
    std::cout << x[static_cast<std::size_t>(i)] << ",";
  }
  std::cout << std::endl;
}

}  // namespace vordel
