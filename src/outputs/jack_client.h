// One JACK client of vordel's, opened without starting a server. When the server goes away the
// client notices it at once (jack_on_info_shutdown: Up() turns false), and a watch thread tries
// once a second, off the real-time path, to open it again, so a restarted server is used again.
// The owner's hooks register ports and callbacks (setup) and make connections (connect), on the
// thread that opens: the constructor's, then the watch thread's. The owner counts the cycles its
// process callback ran (hook `cycles`): a client that the server has not run for two seconds
// while it ran cycles of its own is taken for lost and opened again (a server restarted under the
// same name can leave a new client waiting for a wake-up that goes elsewhere); a server that ran
// no cycle either is only starved, and its client waits with it. Up() may be read from any thread,
// the process callback included; the rest is for the owner's thread.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vordel {

// Whether a JACK server answers right now (asked without starting one).
bool JackServerRunning();

class JackClient {
 public:
  struct Hooks {
    // Registers ports and sets the process callback, before activation; false to give up.
    std::function<bool(jack_client_t*)> setup;
    // After activation: connections to other clients.
    std::function<void(jack_client_t*)> connect;
    // The server went away (watch thread, before the client is closed).
    std::function<void()> lost;
    // How many cycles the process callback has run (watch thread; null: not watched).
    std::function<std::uint64_t()> cycles;
  };

  // The client is named `name` on its server when nobody there has that name (JACK itself says
  // so), else name-2, name-3 ... up to name-16; what runs on other servers does not matter.
  JackClient(std::string name, Hooks hooks);
  ~JackClient();
  JackClient(const JackClient&) = delete;
  JackClient& operator=(const JackClient&) = delete;

  bool Up() const { return up_.load(std::memory_order_acquire); }
  // The client's name as JACK gave it ("" while down).
  std::string Name() const;
  // The open client, for its process callback and owner (null while down).
  jack_client_t* Raw() const { return client_.load(std::memory_order_acquire); }
  // Closes the client and stops watching (also done by the destructor).
  void Close();

 private:
  // Which opening of the client a shutdown notice is about: a client closed after its server
  // died may still report its end later, and must not take the next client down with it.
  struct Opening {
    JackClient* owner;
    unsigned number;
  };

  bool Open();
  void CloseClient();
  void Watch();
  std::uint64_t Cycles() const;
  static void OnShutdown(jack_status_t code, const char* reason, void* arg);

  std::string wanted_name_;
  Hooks hooks_;
  std::atomic<jack_client_t*> client_{nullptr};
  std::atomic<bool> up_{false};
  std::atomic<bool> lost_{false};
  std::atomic<bool> server_gone_{false};  // the server told the client it shut down
  mutable std::mutex mutex_;              // guards name_ and the watch thread's sleep
  std::condition_variable wake_;
  std::string name_;
  bool closing_ = false;
  std::atomic<unsigned> opening_{0};
  std::vector<std::unique_ptr<Opening>> openings_;  // alive as long as the client object
  std::thread watch_;
};

}  // namespace vordel
