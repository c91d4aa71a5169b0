// Reading a connection, looking a GDB up by alias name and adding a GDB, at
// 10, 1,000 and 10,000 records. Each lookup asks for the last record, the
// worst case of a front-to-back search; each add goes into a table with a
// free slot, so it measures the name test and the table rewrite, not growth.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_store.h"
#include "src/sources/sources.h"

namespace brellox {
namespace {

template <class Record>
void AppendTable(std::string* image, std::int32_t count, std::int32_t capacity,
                 const char* prefix) {
  for (std::int32_t i = 1; i <= capacity; ++i) {
    Record record{};
    if (i <= count) {
      record.id = i;
      std::snprintf(record.name, sizeof(record.name), "%s%d", prefix, i);
    }
    image->append(reinterpret_cast<const char*>(&record), sizeof(record));
  }
}

// A file image with `n` connections and `n` GDBs, one free slot left in
// each table, and empty user and privilege tables.
std::string ImageWith(std::int32_t n) {
  const std::string base = DefaultConfigImage();
  SVR_CFG_HEADER header;
  std::memcpy(&header, base.data(), sizeof(header));
  std::string image = base.substr(0, kFirstTableOffset);
  const std::int32_t capacity = n + 2;
  AppendTable<SVC_GDB_CONN_INFO>(&image, n, capacity, "conn");
  header.conns = {kFirstTableOffset, n, capacity};
  header.gdbs = {static_cast<std::int32_t>(image.size()), n, capacity};
  AppendTable<SVC_GDB_INFO>(&image, n, capacity, "gdb");
  header.users.offset = static_cast<std::int32_t>(image.size());
  image.append(header.users.capacity * sizeof(SVR_USER_REC), '\0');
  header.privs.offset = static_cast<std::int32_t>(image.size());
  image.append(header.privs.capacity * sizeof(SVR_USER_PRIV), '\0');
  header.optionGroupsOffset = static_cast<std::int32_t>(image.size());
  header.lastConnID = n;
  header.lastGDBID = n;
  std::memcpy(&image[0], &header, sizeof(header));
  return image;
}

void BM_GetConn(benchmark::State& state) {
  BenchStore bench;
  const auto n = static_cast<std::int32_t>(state.range(0));
  bench.Write(ImageWith(n));
  SVC_GDB_CONN_INFO info;
  for (auto _ : state) {
    if (GetConn(bench.store(), n, info) != 1) state.SkipWithError("not found");
    benchmark::DoNotOptimize(info);
  }
}

void BM_GetGDBID(benchmark::State& state) {
  BenchStore bench;
  const auto n = static_cast<std::int32_t>(state.range(0));
  bench.Write(ImageWith(n));
  const std::string name = "gdb" + std::to_string(n);
  SVR_LONG id = 0;
  for (auto _ : state) {
    if (GetGDBID(bench.store(), name.c_str(), id) != 1 || id != n) {
      state.SkipWithError("not found");
    }
  }
}

void BM_AddGDB(benchmark::State& state) {
  BenchStore bench;
  const std::string image =
      ImageWith(static_cast<std::int32_t>(state.range(0)));
  SVC_GDB_INFO info{};
  std::strcpy(info.name, "new gdb");
  for (auto _ : state) {
    state.PauseTiming();
    bench.Write(image);
    state.ResumeTiming();
    if (AddGDB(bench.store(), info) <= 0) state.SkipWithError("add refused");
  }
}

BENCHMARK(BM_GetConn)->Arg(10)->Arg(1000)->Arg(10000);
BENCHMARK(BM_GetGDBID)->Arg(10)->Arg(1000)->Arg(10000);
BENCHMARK(BM_AddGDB)->Arg(10)->Arg(1000)->Arg(10000);

}  // namespace
}  // namespace brellox
