#include "remote/osc_handler.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <lo/lo.h>

#include <vector>

namespace vordel {
namespace {

using Packet = std::vector<std::uint8_t>;

// A message built by liblo, as a sender's library would.
template <typename F>
Packet Message(const char* path, F add) {
  lo_message m = lo_message_new();
  add(m);
  std::size_t size = lo_message_length(m, path);
  Packet p(size);
  lo_message_serialise(m, path, p.data(), &size);
  lo_message_free(m);
  return p;
}
Packet Message(const char* path) {
  return Message(path, [](lo_message) {});
}

Packet Bundle(const std::vector<Packet>& elements) {
  Packet p = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
  for (const Packet& e : elements) {
    const auto n = static_cast<std::uint32_t>(e.size());
    p.insert(p.end(), {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                       static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    p.insert(p.end(), e.begin(), e.end());
  }
  return p;
}

class Recorder : public OscActions {
 public:
  void Post(Command c) override { posted.push_back(std::move(c)); }
  void Send(const OscPeer& to, const OscMessageOut& m) override {
    sent.emplace_back(to.ToString(), m.path);
    sent_text.push_back(m.args.empty() ? "" : m.args[0].s);
  }
  std::function<void(const OscPeer&, const OscMessageOut&)> Sender() override {
    return [this](const OscPeer& to, const OscMessageOut& m) { Send(to, m); };
  }
  void Subscribe(const OscPeer& p, const OscPeer& from) override {
    subscribed.push_back(p.ToString() + " for " + from.ToString());
  }
  void Unsubscribe(const OscPeer& p) override { unsubscribed.push_back(p.ToString()); }
  OscMessageOut Status() override { return {"/vordel/status", {}}; }
  void Log(const std::string& line) override { log.push_back(line); }

  std::vector<Command> posted;
  std::vector<std::pair<std::string, std::string>> sent;
  std::vector<std::string> sent_text;  // the first argument's text
  std::vector<std::string> subscribed;
  std::vector<std::string> unsubscribed;
  std::vector<std::string> log;
};

class OscHandler : public ::testing::Test {
 protected:
  OscHandler() {
    auto* in = reinterpret_cast<sockaddr_in*>(&from_.address);
    in->sin_family = AF_INET;
    in->sin_port = htons(57120);
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    from_.length = sizeof(sockaddr_in);
  }
  void Handle(Packet p) { HandleOscPacket(p.data(), p.size(), from_, rec_); }
  OscPeer from_;
  Recorder rec_;
};

TEST_F(OscHandler, AddressesBecomeCommands) {
  Handle(Message("/vordel/piece", [](lo_message m) { lo_message_add_string(m, "0 80 40 30 25"); }));
  Handle(Message("/vordel/play"));
  Handle(
      Message("/vordel/stop", [](lo_message m) { lo_message_add_float(m, 1.0f); }));  // Pd's bang
  Handle(Message("/vordel/quit"));
  Handle(Message("/vordel/volume", [](lo_message m) { lo_message_add_float(m, 300.6f); }));
  Handle(Message("/vordel/ensemble", [](lo_message m) { lo_message_add_int32(m, 2); }));
  Handle(Message("/vordel/endless", [](lo_message m) { lo_message_add_int32(m, 7); }));
  Handle(Message("/vordel/endless", [](lo_message m) { lo_message_add_float(m, 0.0f); }));
  Handle(Message("/vordel/next"));
  Handle(Message("/vordel/endless", [](lo_message m) { lo_message_add_string(m, "on"); }));
  Handle(Message("/vordel/link", [](lo_message m) { lo_message_add_float(m, 1.0f); }));
  Handle(Message("/vordel/link", [](lo_message m) { lo_message_add_int32(m, 0); }));
  ASSERT_EQ(rec_.posted.size(), 11u);
  EXPECT_EQ(rec_.posted[0].kind, Command::Kind::kCompose);
  EXPECT_EQ(rec_.posted[0].text, "0 80 40 30 25");
  EXPECT_FALSE(rec_.posted[0].latched);
  EXPECT_EQ(rec_.posted[1].kind, Command::Kind::kPlay);
  EXPECT_EQ(rec_.posted[2].kind, Command::Kind::kStop);
  EXPECT_EQ(rec_.posted[3].kind, Command::Kind::kQuit);
  EXPECT_EQ(rec_.posted[4].value, 127);  // kept in range
  EXPECT_EQ(rec_.posted[5].kind, Command::Kind::kEnsemble);
  EXPECT_EQ(rec_.posted[5].value, 2);
  EXPECT_EQ(rec_.posted[6].kind, Command::Kind::kEndless);
  EXPECT_EQ(rec_.posted[6].value + 2 * rec_.posted[7].value, 1);  // on, then off
  EXPECT_EQ(rec_.posted[8].kind, Command::Kind::kNext);
  EXPECT_EQ(rec_.posted[9].kind, Command::Kind::kLink);
  EXPECT_EQ(rec_.posted[9].value * 2 + rec_.posted[10].value, 2);  // join, then leave
  EXPECT_EQ(rec_.log.size(), 1u);                                  // the string was refused
  // A refused piece is answered, to the sender or to the port it names.
  rec_.posted[0].reply("refused: too long");
  rec_.posted[0].reply("");
  EXPECT_EQ(
      rec_.sent,
      (std::vector<std::pair<std::string, std::string>>{{"127.0.0.1:57120", "/vordel/refused"}}));
  Handle(Message("/vordel/piece", [](lo_message m) {
    lo_message_add_string(m, "1 2");
    lo_message_add_int32(m, 9000);
  }));
  rec_.posted.back().reply("no");
  EXPECT_EQ(rec_.sent.back().first, "127.0.0.1:9000");
  // A score and a playlist are names in the files folder, each command knows its sender; a
  // score is answered either way: with the whole path written, with why not when it was not.
  EXPECT_TRUE(rec_.posted.back().in_files_folder == false);
  EXPECT_EQ(rec_.posted.back().sender, "127.0.0.1:57120");
  Handle(Message("/vordel/playlist", [](lo_message m) { lo_message_add_string(m, "p.txt"); }));
  EXPECT_TRUE(rec_.posted.back().in_files_folder);
  Handle(Message("/vordel/score", [](lo_message m) { lo_message_add_string(m, "s.musicxml"); }));
  ASSERT_EQ(rec_.posted.back().kind, Command::Kind::kScore);
  EXPECT_EQ(rec_.posted.back().text, "s.musicxml");
  EXPECT_TRUE(rec_.posted.back().in_files_folder);
  const std::size_t answers = rec_.sent.size();
  rec_.posted.back().reply("");
  EXPECT_EQ(rec_.sent.size(), answers);  // the saved file is told by `saved`
  rec_.posted.back().saved("/home/u/.local/share/vordel/s.musicxml");
  EXPECT_EQ(rec_.sent.back().second, "/vordel/saved");
  EXPECT_EQ(rec_.sent_text.back(), "/home/u/.local/share/vordel/s.musicxml");
  rec_.posted.back().reply("cannot write s.musicxml: Permission denied");
  EXPECT_EQ(rec_.sent.back().second, "/vordel/refused");
  EXPECT_EQ(rec_.sent_text.back(), "cannot write s.musicxml: Permission denied");
}

// What each address takes, by the types of its arguments; anything else is ignored with a line
// saying so, and nothing is posted or answered.
TEST_F(OscHandler, ArgumentsOfTheWrongTypesAreIgnored) {
  const struct {
    const char* path;
    const char* types;  // 's' a text, 'i' an integer, 'f' a float
    bool taken;
  } cases[] = {
      {"/vordel/piece", "s", true},    {"/vordel/piece", "si", true},
      {"/vordel/piece", "i", false},   {"/vordel/piece", "", false},
      {"/vordel/piece", "ss", false},  {"/vordel/piece", "sii", false},
      {"/vordel/piece", "sf", false},  {"/vordel/volume", "f", true},
      {"/vordel/volume", "", false},   {"/vordel/volume", "s", false},
      {"/vordel/volume", "ii", false}, {"/vordel/play", "", true},
      {"/vordel/play", "i", true},     {"/vordel/play", "ii", false},
      {"/vordel/play", "s", false},    {"/vordel/link", "i", true},
      {"/vordel/link", "s", false},    {"/vordel/status", "i", true},
      {"/vordel/status", "f", false},  {"/vordel/subscribe", "ii", false},
  };
  for (const auto& c : cases) {
    rec_.posted.clear();
    rec_.sent.clear();
    rec_.log.clear();
    Handle(Message(c.path, [&c](lo_message m) {
      for (const char* t = c.types; *t != '\0'; ++t) {
        if (*t == 's') {
          lo_message_add_string(m, "0 80 40 30 25");
        } else if (*t == 'i') {
          lo_message_add_int32(m, 9001);
        } else {
          lo_message_add_float(m, 1.0f);
        }
      }
    }));
    const bool acted = !rec_.posted.empty() || !rec_.sent.empty();
    EXPECT_EQ(acted, c.taken) << c.path << " " << c.types;
    const bool refused = !rec_.log.empty() &&
                         rec_.log.back().find("is not understood; ignored") != std::string::npos;
    EXPECT_EQ(refused, !c.taken) << c.path << " " << c.types;
  }
}

TEST_F(OscHandler, StatusAndSubscriptionsAnswerTheSenderOrItsPort) {
  Handle(Message("/vordel/status"));
  Handle(Message("/vordel/status", [](lo_message m) { lo_message_add_int32(m, 9001); }));
  Handle(Message("/vordel/subscribe"));
  Handle(Message("/vordel/unsubscribe", [](lo_message m) { lo_message_add_int32(m, 9002); }));
  EXPECT_EQ(rec_.sent,
            (std::vector<std::pair<std::string, std::string>>{
                {"127.0.0.1:57120", "/vordel/status"}, {"127.0.0.1:9001", "/vordel/status"}}));
  EXPECT_EQ(rec_.subscribed, (std::vector<std::string>{"127.0.0.1:57120 for 127.0.0.1:57120"}));
  EXPECT_EQ(rec_.unsubscribed, (std::vector<std::string>{"127.0.0.1:9002"}));
  EXPECT_TRUE(rec_.posted.empty());
}

TEST_F(OscHandler, BundlesActInOrder) {
  Handle(Bundle({}));  // an empty bundle is no news
  EXPECT_TRUE(rec_.log.empty());
  Handle(Bundle({Message("/vordel/stop"), Bundle({Message("/vordel/play")}),
                 Message("/vordel/volume", [](lo_message m) { lo_message_add_int32(m, 64); })}));
  ASSERT_EQ(rec_.posted.size(), 3u);
  EXPECT_EQ(rec_.posted[0].kind, Command::Kind::kStop);
  EXPECT_EQ(rec_.posted[1].kind, Command::Kind::kPlay);
  EXPECT_EQ(rec_.posted[2].value, 64);
}

}  // namespace
}  // namespace vordel
