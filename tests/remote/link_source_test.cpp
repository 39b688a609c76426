#include "remote/link_source.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vordel {
namespace {

// What --link-tempo takes, and what the log says of the peers. (Nothing here joins a session:
// Link runs only in the end-to-end test's private network.)
TEST(LinkSource, TempoModesAndPeersLines) {
  const struct {
    std::string text;
    std::optional<LinkTempo> mode;
  } modes[] = {{"follow", LinkTempo::kFollow},
               {"lead", LinkTempo::kLead},
               {"Lead", std::nullopt},
               {"", std::nullopt},
               {"follow ", std::nullopt}};
  for (const auto& m : modes) {
    EXPECT_EQ(ParseLinkTempo(m.text), m.mode) << m.text;
  }
  EXPECT_EQ(PeersLine(0), "Link: no peers");
  EXPECT_EQ(PeersLine(1), "Link: 1 peer");
  EXPECT_EQ(PeersLine(12), "Link: 12 peers");
}

}  // namespace
}  // namespace vordel
