// Checking credentials and adding users at 10, 1,000 and 10,000 users.
//
// Counters: "opens" and "reads" are file opens and reads per call, counted
// through a wrapping Env; a credentials check must stay at one open and a
// fixed number of reads however many users there are.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "bench/bench_store.h"
#include "src/store/default_file.h"
#include "src/store/text.h"
#include "src/users/users.h"

namespace brellox {
namespace {

class CountingEnv : public Env {
 public:
  explicit CountingEnv(Env* base) : base_(base) {}

  long opens = 0;
  long reads = 0;

  Status OpenExisting(const std::string& path,
                      std::unique_ptr<RandomRWFile>* result) override {
    ++opens;
    Status s = base_->OpenExisting(path, result);
    if (s.ok()) result->reset(new CountingFile(this, std::move(*result)));
    return s;
  }
  Status CreateReplacing(const std::string& path,
                         std::unique_ptr<RandomRWFile>* result) override {
    return base_->CreateReplacing(path, result);
  }
  Status RenameReplacing(const std::string& from,
                         const std::string& to) override {
    return base_->RenameReplacing(from, to);
  }
  Status RemoveFile(const std::string& path) override {
    return base_->RemoveFile(path);
  }
  bool EntryExists(const std::string& path) override {
    return base_->EntryExists(path);
  }

 private:
  class CountingFile : public RandomRWFile {
   public:
    CountingFile(CountingEnv* env, std::unique_ptr<RandomRWFile> base)
        : env_(env), base_(std::move(base)) {}
    Status Read(std::uint64_t offset, std::size_t n, void* dst) override {
      ++env_->reads;
      return base_->Read(offset, n, dst);
    }
    Status Write(std::uint64_t offset, const void* src,
                 std::size_t n) override {
      return base_->Write(offset, src, n);
    }
    Status Size(std::uint64_t* size) override { return base_->Size(size); }
    Status Sync() override { return base_->Sync(); }

   private:
    CountingEnv* const env_;
    std::unique_ptr<RandomRWFile> base_;
  };

  Env* const base_;
};

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

void WriteImage(const Store& store, const std::string& image) {
  std::ofstream out(store.path, std::ios::binary | std::ios::trunc);
  out.write(image.data(), static_cast<std::streamsize>(image.size()));
}

void ReportPerCall(benchmark::State& state, const CountingEnv& env) {
  const double calls = static_cast<double>(state.iterations());
  state.counters["opens"] = static_cast<double>(env.opens) / calls;
  state.counters["reads"] = static_cast<double>(env.reads) / calls;
}

// The last user: the check walks the whole table to find it.
void BM_CheckUser(benchmark::State& state) {
  const int users = static_cast<int>(state.range(0));
  BenchStore bench;
  CountingEnv env(Env::Default());
  const Store store{&env, bench.store().path};
  WriteImage(store, ImageWithUsers(users, users));
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
  CountingEnv env(Env::Default());
  const Store store{&env, bench.store().path};
  const std::string image = ImageWithUsers(users, grows ? users : users + 2);
  const std::string name = NameOf(users + 1), password = PasswordOf(users + 1);
  for (auto _ : state) {
    state.PauseTiming();
    WriteImage(store, image);
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
