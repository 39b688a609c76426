// What the benchmarks that play into a JACK peer share: child processes, a dummy JACK server of
// their own, a busy core, and the error of arrivals around their median. Main thread only.
#pragma once

#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace vordel::bench {

inline pid_t Spawn(const std::vector<std::string>& args, const std::string& out,
                   const std::string& err) {
  std::fflush(nullptr);  // the child must not write out what the parent has buffered
  const pid_t pid = fork();
  if (pid == 0) {
    if (std::freopen(out.c_str(), "w", stdout) == nullptr ||
        std::freopen(err.c_str(), "w", stderr) == nullptr) {
      _exit(127);
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) {
      argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

inline int Finish(pid_t pid, int sig) {
  if (sig != 0) {
    kill(pid, sig);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A dummy JACK server of the benchmark's own.
class Server {
 public:
  explicit Server(int period)
      : name_("vordel-bench-" + std::to_string(getpid()) + "-" + std::to_string(period)) {
    // The benchmark's own thread is the only one that reads the environment while it changes.
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
    setenv("JACK_NO_START_SERVER", "1", 1);           // NOLINT(concurrency-mt-unsafe)
    log_ = "/tmp/" + name_ + ".log";
    pid_ = Spawn({"jackd", "-n", name_, "-d", "dummy", "-r", "48000", "-p", std::to_string(period)},
                 log_, log_);
    for (int i = 0; i < 100 && !Up(); ++i) {
      Sleep(100);
    }
  }
  ~Server() {
    Finish(pid_, SIGTERM);
    std::remove(log_.c_str());
  }
  // Cycles of the graph that did not finish in time, as the server reported them.
  int Xruns() const {
    std::ifstream in(log_);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
      n += line.find("XRun") != std::string::npos;
    }
    return n;
  }
  static bool Up() {
    jack_status_t status{};
    jack_client_t* c = jack_client_open("bench-probe", JackNoStartServer, &status);
    if (c == nullptr) {
      return false;
    }
    jack_client_close(c);
    return true;
  }
  // JACK's microsecond clock minus the monotonic clock, in microseconds.
  static double JackMinusMonotonicUs() {
    jack_status_t status{};
    jack_client_t* c = jack_client_open("bench-clock", JackNoStartServer, &status);
    const double d = static_cast<double>(jack_get_time()) -
                     static_cast<double>(vordel::MonotonicNanos()) / 1000.0;
    jack_client_close(c);
    return d;
  }

 private:
  std::string name_;
  std::string log_;
  pid_t pid_;
};

struct Busy {
  Busy() {
    thread = std::thread([this] {
      volatile std::uint64_t x = 0;
      while (run.load(std::memory_order_relaxed)) {
        x = x + 1;
      }
    });
  }
  ~Busy() {
    run.store(false);
    thread.join();
  }
  std::atomic<bool> run{true};
  std::thread thread;
};

struct Result {
  double p99_ms = 0, max_ms = 0, latency_ms = 0;
  long lost = 0;
  long count = 0;
  int xruns = 0;
};

inline Result Measure(const std::vector<double>& deviations_us, long expected) {
  Result r;
  r.count = static_cast<long>(deviations_us.size());
  r.lost = std::max(0L, expected - r.count);
  if (deviations_us.empty()) {
    return r;
  }
  std::vector<double> sorted = deviations_us;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  r.latency_ms = median / 1000.0;
  std::vector<double> errors;
  errors.reserve(deviations_us.size());
  for (double d : deviations_us) {
    errors.push_back(std::fabs(d - median) / 1000.0);
  }
  std::sort(errors.begin(), errors.end());
  r.p99_ms = errors[std::min(errors.size() - 1, errors.size() * 99 / 100)];
  r.max_ms = errors.back();
  return r;
}

}  // namespace vordel::bench
