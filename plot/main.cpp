// ecflux-plot [OPTION]... [RUN_FOLDER]: the plots of a finished run.

#include <cstdio>
#include <iostream>
#include <span>

#include "input/command_line.h"
#include "plot/tool.h"
#include "textio/standard_streams.h"

namespace {

constexpr const char* usage =
    "usage: ecflux-plot [OPTION]... [RUN_FOLDER]\n"
    "Draws the plots of the finished ecflux run in RUN_FOLDER, or in the working\n"
    "directory when none is given: flux_by_block.svg, cumulative_flux.svg and\n"
    "flux_by_window.svg, and report.html, a page of the run with the three plots,\n"
    "from the run's output files (blocks.csv and window_fluxes.csv where ecflux\n"
    "--csv wrote them), into the same folder.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "  --          end of the options: what follows is the run folder\n";

}  // namespace

int main(int argc, char** argv) {
  ecflux::textio::occupy_closed_standard_streams();
  ecflux::textio::ignore_signals_of_failed_writes();

  const auto arguments = std::span<const char* const>(argv, static_cast<std::size_t>(argc));
  const auto line = ecflux::input::parse_command_line(arguments.subspan(1), {});
  if (const auto answer = ecflux::input::immediate_answer(line, "ecflux-plot", usage)) {
    std::fputs(answer->text.c_str(), answer->to_standard_error ? stderr : stdout);
    return answer->status;
  }
  if (!line.value().run_folder.empty()) {
    const auto entered = ecflux::input::enter_run_folder(line.value().run_folder);
    if (!entered.ok()) {
      std::cerr << ecflux::textio::fatal_message(entered.failure(), "ecflux-plot") << '\n';
      return 1;
    }
  }
  return ecflux::plot::run_plot_tool(std::cout, std::cerr);
}
