#include "plot/block_lines.h"

namespace ecflux::plot {

std::vector<std::size_t> shown_blocks(std::size_t count, std::size_t line_limit) {
  line_limit = std::max<std::size_t>(line_limit, 2);
  std::vector<std::size_t> shown;
  for (std::size_t i = 0; i < std::min(count, line_limit); ++i) {
    shown.push_back(
        count <= line_limit ? i : (i * (count - 1) + (line_limit - 1) / 2) / (line_limit - 1));
  }
  return shown;
}

}  // namespace ecflux::plot
