// Checking credentials and adding users at 10, 1,000 and 10,000 users.
//
// Counters: "opens" and "reads" are file opens and reads per call, counted
// through a FaultEnv with no fault armed; a credentials check must stay at one open and a
// fixed number of reads however many users there are.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "bench/bench_store.h"
#include "src/store/default_file.h"
#include "src/store/text.h"
#include "src/users/users.h"
#include "tests/testutil/fault_env.h"

namespace brellox {
namespace {

std::string NameOf(int i) { return "user" + std::to_string(i); }
std::string PasswordOf(int i) { return "password" + std::to_string(i); }

// A file holding `users` users in a table of `capacity` slots, and an empty
// privilege table behind it; written whole rather than user by user.
std::string ImageWithUsers(int users, int capacity) {
  std::string image = DefaultConfigImage();
  SVR_CFG_HEADER header;
  std::memcpy(&header, image.data(), sizeof(header));
  std::string table(static_cast<std::size_t>(capacity) * sizeof(SVR_USER_REC),
                    '\0');
  for (int i = 0; i < users; ++i) {
    SVR_USER_REC record{};
    record.id = i + 1;
    BoundedCopy(record.name, sizeof(record.name), NameOf(i + 1).c_str(),
                sizeof(record.name));
    BoundedCopy(record.password, sizeof(record.password),
                PasswordOf(i + 1).c_str(), sizeof(record.password));
    std::memcpy(&table[i * sizeof(record)], &record, sizeof(record));
  }
  const std::string privileges =
      image.substr(header.privs.offset, header.privs.capacity * 12);
  header.lastUserID = users;
  header.users.count = users;
  header.users.capacity = capacity;
  header.privs.offset = header.users.offset + capacity * 100;
  header.optionGroupsOffset = header.privs.offset + header.privs.capacity * 12;
  std::string result =
      image.substr(0, header.users.offset) + table + privileges;
  std::memcpy(&result[0], &header, sizeof(header));
  return result;
}

void ReportPerCall(benchmark::State& state, const test::FaultEnv& env) {
  const double calls = static_cast<double>(state.iterations());
  state.counters["opens"] = static_cast<double>(env.opens()) / calls;
  state.counters["reads"] =
      static_cast<double>(env.count(test::FaultEnv::Op::kRead)) / calls;
}

// The last user: the check walks the whole table to find it.
void BM_CheckUser(benchmark::State& state) {
  const int users = static_cast<int>(state.range(0));
  BenchStore bench;
  test::FaultEnv env(Env::Default());  // counts, never armed
  const Store store{&env, bench.store().path};
  bench.Write(ImageWithUsers(users, users));
  const std::string name = NameOf(users), password = PasswordOf(users);
  for (auto _ : state) {
    if (CheckUser(store, name.c_str(), password.c_str()) != 1) {
      state.SkipWithError("the check failed");
      break;
    }
  }
  ReportPerCall(state, env);
}
BENCHMARK(BM_CheckUser)->Arg(10)->Arg(1000)->Arg(10000);

// One add to a table with a free slot (range(1) == 0) or to a full one that
// must grow (range(1) == 1). The file is put back between adds.
void BM_AddUser(benchmark::State& state) {
  const int users = static_cast<int>(state.range(0));
  const bool grows = state.range(1) == 1;
  BenchStore bench;
  test::FaultEnv env(Env::Default());  // counts, never armed
  const Store store{&env, bench.store().path};
  const std::string image = ImageWithUsers(users, grows ? users : users + 2);
  const std::string name = NameOf(users + 1), password = PasswordOf(users + 1);
  for (auto _ : state) {
    state.PauseTiming();
    bench.Write(image);
    state.ResumeTiming();
    if (AddUser(store, name.c_str(), password.c_str()) != users + 1) {
      state.SkipWithError("the add failed");
      break;
    }
  }
  ReportPerCall(state, env);
}
BENCHMARK(BM_AddUser)
    ->ArgNames({"users", "grows"})
    ->ArgsProduct({{10, 1000, 10000}, {0, 1}});

}  // namespace
}  // namespace brellox
