// Configuration file images of any size, built as bytes in one go rather
// than record by record (10,000 journaled adds would take minutes), and the
// names of the records they hold, so that benchmarks can ask for them.
#ifndef BRELLOX_BENCH_IMAGES_H_
#define BRELLOX_BENCH_IMAGES_H_

#include <cstdint>
#include <string>

namespace brellox {
namespace bench {

// A slotted table's records in use and the free slots after them.
struct Fill {
  std::int32_t count;
  std::int32_t free;
};

// What an image holds. The defaults describe the default file exactly.
struct ImageSpec {
  Fill conns{1, 1};  // record 1 is the default file's own connection
  Fill gdbs{0, 2};
  Fill users{0, 2};
  Fill privileges{0, 2};
  std::int32_t option_groups = 0;
};

// A server that has been in use: 100 privilege values (the table grown to
// fit them exactly, as adds one by one leave it) and 20 option groups.
ImageSpec ServerSpec();

// The file bytes for `spec`. Record i (from 1) of each table carries ID i
// and the names below; privilege i is (user i, privilege 1) = i; option
// group i has type 1, an integer first option and five text options.
std::string BuildImage(const ImageSpec& spec);

std::string UserName(std::int32_t i);
std::string UserPassword(std::int32_t i);
std::string ConnName(std::int32_t i);
std::string GdbName(std::int32_t i);
std::string GroupName(std::int32_t i);
constexpr std::int32_t kGroupType = 1;

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_IMAGES_H_
