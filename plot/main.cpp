#include <iostream>
#include <string_view>

#include "plot/tool.h"
#include "textio/standard_streams.h"

int main(int argc, char** argv) {
  ecflux::textio::occupy_closed_standard_streams();
  ecflux::textio::ignore_signals_of_failed_writes();
  if (argc > 1) {
    const std::string_view argument = argv[1];
    const bool help = argument == "-h" || argument == "--help";
    (help ? std::cout : std::cerr)
        << "usage: ecflux-plot\n"
           "Run in the folder of a finished ecflux run: draws flux_by_block.svg,\n"
           "cumulative_flux.svg and flux_by_window.svg from its output files.\n";
    return help ? 0 : 1;
  }
  return ecflux::plot::run_plot_tool(std::cout, std::cerr);
}
