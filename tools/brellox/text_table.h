// Aligned plain-text tables for the listing commands.
#ifndef BRELLOX_TOOLS_BRELLOX_TEXT_TABLE_H_
#define BRELLOX_TOOLS_BRELLOX_TEXT_TABLE_H_

#include <iosfwd>
#include <string>
#include <vector>

namespace brellox {
namespace tool {

class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headings)
      : headings_(std::move(headings)) {}
  // Precondition: as many cells as headings.
  void AddRow(std::vector<std::string> cells) {
    rows_.push_back(std::move(cells));
  }
  // Prints the headings and rows with columns padded to their widest cell;
  // "(none)" under the headings when there are no rows.
  void Print(std::ostream& out) const;

 private:
  std::vector<std::string> headings_;
  std::vector<std::vector<std::string>> rows_;
};

// Columns a UTF-8 text takes on a terminal: East Asian wide characters
// count two.
std::size_t DisplayWidth(const std::string& utf8);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_TEXT_TABLE_H_
