// ecflux [OPTION]... [RUN_FOLDER]: one run, or a check of one, or a word
// about the program.

#include <cstdio>
#include <span>

#include "base/program.h"
#include "base/standard_streams.h"
#include "driver/run.h"
#include "input/command_line.h"

namespace {

constexpr const char* usage =
    "usage: ecflux [OPTION]... [RUN_FOLDER]\n"
    "Processes one eddy-correlation record in RUN_FOLDER, or in the working\n"
    "directory when none is given: reads ConfigDRAVEK.Dat and the data file it\n"
    "names, writes the results file it names, cumflux.out, CFSHIFT.out and\n"
    "Cospectra.out there, and one progress line per block on standard output.\n"
    "The files of an earlier run are replaced only when the run completes.\n"
    "\n"
    "Options:\n"
    "  --check     read the configuration and the whole data file as a run would,\n"
    "              write no file, and report on standard output what the run\n"
    "              would do and every warning it would give\n"
    "  --csv       also write blocks.csv and window_fluxes.csv: every value at full\n"
    "              precision, for scripts\n"
    "  --durable   wait until each output is on the disk before it replaces the\n"
    "              earlier one (fsync), so that a power cut loses nothing either\n"
    "  --strict    any warning fails the run: nothing is replaced, exit status 1\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "  --          end of the options: what follows is the run folder\n"
    "\n"
    "Quality control of each block's samples before its statistics:\n"
    "  --missing VALUE            VALUE, NaN, Inf and numbers beyond a double are\n"
    "                             missing values, bridged within the allowance\n"
    "                             (repeatable)\n"
    "  --missing-allowance PCT    the share of a block that may be missing (10)\n"
    "  --despike                  replace the spikes of u, v, w and temperature\n"
    "  --rotate double|planar     turn w across the mean flow: each block on its\n"
    "                             own, or all into the plane of the blocks' means\n"
    "  --uncertainty              the random error of FLUX-L and FLUX-R\n"
    "  --spectra                  each block's spectra and ogive: cospectra.csv\n"
    "  --density KG_M3            of the water (1025)\n"
    "  --heat-capacity J_KG_K     of the water (4008)\n"
    "  --qc                       --missing -9999 --despike --rotate double\n"
    "                             --uncertainty --spectra\n"
    "A value goes after the option as the next argument or after \"=\". What quality\n"
    "control finds in each block is in columns of blocks.csv (--csv) and in the\n"
    "block's quality flag, which run.json holds too.\n"
    "\n"
    "Exit status: 0 done, 1 a failure, a refusal or no complete block (the reason\n"
    "on standard error), 2 a mistake on the command line, 128 + N stopped by\n"
    "signal N (130 after Ctrl-C). The manual page ecflux(1) and the README\n"
    "(share/doc/ecflux/README.md where ecflux is installed) describe the files,\n"
    "the warnings and the messages.\n";

}  // namespace

int main(int argc, char** argv) {
  ecflux::base::occupy_closed_standard_streams();
  ecflux::base::ignore_signals_of_failed_writes();

  const auto arguments = std::span<const char* const>(argv, static_cast<std::size_t>(argc));
  auto line = ecflux::input::parse_command_line(
      arguments.subspan(1),
      {.check = true, .csv = true, .durable = true, .strict = true, .quality = true});
  if (const auto answer = ecflux::input::immediate_answer(line, "ecflux", usage)) {
    std::fputs(answer->text.c_str(), answer->to_standard_error ? stderr : stdout);
    if (auto written = ecflux::base::finish_standard_output(); !written.ok()) {
      std::fputs((ecflux::base::fatal_message(written.failure()) + "\n").c_str(), stderr);
      return 1;
    }
    return answer->status;
  }
  line.value().words.assign(arguments.begin(), arguments.end());
  try {
    return ecflux::driver::run(line.value());
  } catch (...) {
    // The run's own message needed memory that was not there either; its
    // staged files went as it unwound.
    // Written without making a text, which needs memory.
    std::fprintf(stderr, "%.*s: out of memory; nothing was replaced\n",
                 static_cast<int>(ecflux::base::program_name.size()),
                 ecflux::base::program_name.data());
    return 1;
  }
}
