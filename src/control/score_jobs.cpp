#include "control/score_jobs.h"

#include <algorithm>

#include "export/score.h"

namespace vordel {

ScoreJobs::~ScoreJobs() {
  Abandon();
}

void ScoreJobs::Add(Piece piece, std::unique_ptr<PendingFile> file, std::string sender, Done done) {
  jobs_.push_back({std::move(piece), std::move(file), std::move(sender), std::move(done)});
  if (!writer_.joinable()) {
    StartNext();
  }
}

bool ScoreJobs::Busy(const std::string& sender) const {
  return std::any_of(jobs_.begin(), jobs_.end(),
                     [&](const Job& job) { return job.sender == sender; });
}

void ScoreJobs::StartNext() {
  if (jobs_.empty()) {
    return;
  }
  stop_.store(false, std::memory_order_relaxed);
  result_ = std::make_unique<Result>();
  Job& job = jobs_.front();
  writer_ = std::thread([this, &job, result = result_.get()] {
    ScoreOptions options;
    options.reproduce = ScoreCommand(job.piece, job.file->target(), options);
    std::string error;
    if (!WriteScore(job.piece, *job.file, options, &stop_, &error)) {
      result->error = error.empty() ? "the score could not be written" : error;
    }
    result->finished.store(true, std::memory_order_release);
  });
}

void ScoreJobs::Poll() {
  if (!writer_.joinable() || !result_->finished.load(std::memory_order_acquire)) {
    return;
  }
  writer_.join();
  Job done = std::move(jobs_.front());
  jobs_.pop_front();
  const std::string error = result_->error;
  result_.reset();
  StartNext();
  if (done.done) {
    done.done(error, error.empty() ? done.file->target() : "");
  }
}

void ScoreJobs::Abandon(const char* why) {
  if (writer_.joinable()) {
    stop_.store(true, std::memory_order_relaxed);
    writer_.join();
  }
  std::deque<Job> gone;
  gone.swap(jobs_);
  result_.reset();
  for (Job& job : gone) {
    job.file.reset();  // each pending file removes what it holds
    if (why != nullptr && job.done) {
      job.done(why, "");
    }
  }
}

}  // namespace vordel
