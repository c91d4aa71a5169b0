// Runs the desired-state fuzz target over a valid state, every prefix of
// it, seeded byte flips of it and inputs nested far too deep, so that every
// build exercises it without a fuzzing engine.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "src/state/desired_json.h"
#include "src/state/json_reader.h"
#include "src/store/default_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size);

namespace brellox {
namespace test {
namespace {

int FuzzOne(const std::string& input) {
  return LLVMFuzzerTestOneInput(
      reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

const char kState[] = R"({
  "tempDir": "/srv/tmp",
  "users": [{"name": "b", "password": "x"}, {"name": "z", "password": "q"},
            {"name": "c", "state": "absent"}],
  "privileges": [{"user": "b", "privID": 3, "value": 9},
                 {"user": "z", "privID": 1, "value": 1},
                 {"user": "c", "privID": 3, "state": "absent"}],
  "connections": [{"name": "KelmirLocal", "info1": "h"},
                  {"name": "pg", "info2": "", "state": "present"}],
  "gdbs": [{"name": "world", "details": "0a0b"}]
})";

TEST(StateFuzzReplay, PrefixesFlipsAndDeepNestingRunCleanly) {
  const std::string state = kState;
  // The whole state reaches the plan: the flips start from there.
  nlohmann::ordered_json json;
  std::size_t error_byte = 0;
  ASSERT_TRUE(state::ParseStrictJson(kState, &json, &error_byte).ok());
  desired::DesiredState desired;
  const state::Codec codec("GBK");
  ASSERT_TRUE(codec.status().ok());
  ASSERT_TRUE(
      state::ParseDesiredState(std::move(json), codec, &desired).ok());
  FileTables file;
  ASSERT_TRUE(DecodeImage(DefaultConfigImage(), &file).ok());
  desired::Plan plan;
  const Status made =
      desired::Plan::Make(desired, file, desired::ApplyRules(), &plan);
  ASSERT_TRUE(made.ok()) << made.message();
  EXPECT_FALSE(plan.empty());
  for (std::size_t n = 0; n <= state.size(); ++n) {
    EXPECT_EQ(FuzzOne(state.substr(0, n)), 0);
  }
  std::mt19937 random(27);
  for (int i = 0; i < 2000; ++i) {
    std::string flipped = state;
    const std::size_t at = random() % flipped.size();
    flipped[at] = static_cast<char>(random() % 256);
    EXPECT_EQ(FuzzOne(flipped), 0);
  }
  for (const std::size_t depth : {65u, 100000u}) {
    EXPECT_EQ(FuzzOne(std::string(depth, '[') + std::string(depth, ']')), 0);
    std::string objects;
    for (std::size_t i = 0; i < depth; ++i) objects += "{\"a\":";
    EXPECT_EQ(FuzzOne(objects + "1" + std::string(depth, '}')), 0);
  }
}

}  // namespace
}  // namespace test
}  // namespace brellox
