// Lines on standard input as commands, with the clipboard's words: "0" stops, "1" plays, "q"
// quits, a longer line is a parameter string that is composed and played. Each line acts once.
// At the end of the input the source falls silent (a service started without a terminal keeps
// running). Start and Stop: control thread; the reading runs on a thread of its own.
#pragma once

#include <atomic>
#include <thread>

#include "remote/command_source.h"

namespace vordel {

class StdinSource final : public CommandSource {
 public:
  explicit StdinSource(int fd = 0);
  ~StdinSource() override;
  std::string Name() const override { return "standard input"; }
  bool Start(CommandQueue& queue, std::string* error) override;
  void Stop() override;

 private:
  void Run(CommandQueue& queue);

  int fd_;
  int stop_fd_ = -1;
  std::thread thread_;
};

}  // namespace vordel
