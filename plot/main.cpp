// ecflux-plot [OPTION]... [RUN_FOLDER]: the plots of a finished run.

#include <cstdio>
#include <iostream>
#include <span>

#include "base/standard_streams.h"
#include "input/command_line.h"
#include "plot/tool.h"

namespace {

constexpr const char* usage =
    "usage: ecflux-plot [OPTION]... [RUN_FOLDER]\n"
    "Draws the plots of the finished ecflux run in RUN_FOLDER, or in the working\n"
    "directory when none is given: flux_by_block.svg, cumulative_flux.svg,\n"
    "flux_by_window.svg, cospectra.svg where ecflux --spectra wrote cospectra.csv,\n"
    "and report.html, a page of the run with its plots, warnings and options, from\n"
    "the run's output files (blocks.csv and window_fluxes.csv where ecflux --csv\n"
    "wrote them, and run.json), into the same folder. The plots of an earlier run\n"
    "are replaced only when every file is written.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "  --          end of the options: what follows is the run folder\n"
    "\n"
    "The manual page ecflux-plot(1) describes the plots and the page.\n";

// Standard output that did not take every write (a full device, a closed
// standard output, a broken pipe) fails the program, which then ends with
// one line on standard error and status 1, as the GNU tools do.
int with_standard_output_finished(int status) {
  if (auto written = ecflux::base::finish_standard_output(); !written.ok() && status == 0) {
    ecflux::plot::report_failure(std::cerr, written.failure());
    return 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  ecflux::base::occupy_closed_standard_streams();
  ecflux::base::ignore_signals_of_failed_writes();

  const auto arguments = std::span<const char* const>(argv, static_cast<std::size_t>(argc));
  const auto line = ecflux::input::parse_command_line(arguments.subspan(1), {});
  if (const auto answer = ecflux::input::immediate_answer(line, "ecflux-plot", usage)) {
    std::fputs(answer->text.c_str(), answer->to_standard_error ? stderr : stdout);
    return with_standard_output_finished(answer->status);
  }
  if (!line.value().run_folder.empty()) {
    const auto entered = ecflux::input::enter_run_folder(line.value().run_folder);
    if (!entered.ok()) {
      ecflux::plot::report_failure(std::cerr, entered.failure());
      return 1;
    }
  }
  return with_standard_output_finished(ecflux::plot::run_plot_tool(std::cout, std::cerr));
}
