// Scores written beside the control thread, one at a time in the order asked. Each file is
// prepared on the control thread when it is asked for (so that a refusal is said at once, and
// nothing there can wait on a FIFO), then written by a thread of its own. Abandoning stops the
// score being written after the measure it is at (its partial file is removed) and drops those
// waiting: a quit never waits for a score. Control thread only; not real-time safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "composer/piece.h"
#include "platform/pending_file.h"

namespace vordel {

class ScoreJobs {
 public:
  static constexpr std::size_t kWaiting = 8;
  // Told on the control thread: "" and the file written, or why not.
  using Done = std::function<void(const std::string& error, const std::string& file)>;

  ScoreJobs() = default;
  ~ScoreJobs();
  ScoreJobs(const ScoreJobs&) = delete;
  ScoreJobs& operator=(const ScoreJobs&) = delete;

  // The score of `piece` into `file`, for `sender` ("" for the user at the window).
  void Add(Piece piece, std::unique_ptr<PendingFile> file, std::string sender, Done done);
  // Scores asked for and not yet written.
  std::size_t Waiting() const { return jobs_.size(); }
  // Whether a score asked for by `sender` is waiting or being written.
  bool Busy(const std::string& sender) const;
  // Tells what has been written and starts the next one.
  void Poll();
  // Stops the score being written (its file removed) and forgets the others; each is told `why`
  // (untold when it is null).
  void Abandon(const char* why = nullptr);

 private:
  struct Job {
    Piece piece;
    std::unique_ptr<PendingFile> file;
    std::string sender;
    Done done;
  };
  // What the writing thread hands back.
  struct Result {
    std::atomic<bool> finished{false};
    std::string error;
  };
  void StartNext();

  std::deque<Job> jobs_;  // the first is being written while `writer_` runs
  std::thread writer_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<Result> result_;
};

}  // namespace vordel
