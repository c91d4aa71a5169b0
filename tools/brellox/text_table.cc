#include "tools/brellox/text_table.h"

#include <ostream>

namespace brellox {
namespace tool {
namespace {

bool IsWide(unsigned int cp) {
  return (cp >= 0x1100 && cp <= 0x115f) || (cp >= 0x2e80 && cp <= 0xa4cf) ||
         (cp >= 0xac00 && cp <= 0xd7a3) || (cp >= 0xf900 && cp <= 0xfaff) ||
         (cp >= 0xfe30 && cp <= 0xfe4f) || (cp >= 0xff00 && cp <= 0xff60) ||
         (cp >= 0xffe0 && cp <= 0xffe6) || (cp >= 0x20000 && cp <= 0x3fffd);
}

void PrintRow(std::ostream& out, const std::vector<std::string>& cells,
              const std::vector<std::size_t>& widths) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    line += cells[i];
    if (i + 1 < cells.size()) {
      line.append(widths[i] - DisplayWidth(cells[i]) + 2, ' ');
    }
  }
  // Empty last cells would leave trailing blanks.
  line.erase(line.find_last_not_of(' ') + 1);
  out << line << '\n';
}

}  // namespace

std::size_t DisplayWidth(const std::string& utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xe0 ? 2
                               : lead < 0xf0 ? 3
                                             : 4;
    unsigned int cp = length == 1 ? lead : lead & (0xff >> (length + 1));
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
    }
    width += IsWide(cp) ? 2 : 1;
    i += length;
  }
  return width;
}

void TextTable::Print(std::ostream& out) const {
  std::vector<std::size_t> widths;
  for (const std::string& heading : headings_)
    widths.push_back(DisplayWidth(heading));
  for (const auto& row : rows_) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (DisplayWidth(row[i]) > widths[i]) widths[i] = DisplayWidth(row[i]);
    }
  }
  PrintRow(out, headings_, widths);
  for (const auto& row : rows_) PrintRow(out, row, widths);
  if (rows_.empty()) out << "(none)\n";
}

}  // namespace tool
}  // namespace brellox
