#include "plot/tool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "base/folder_lock.h"
#include "input/configuration.h"
#include "plot/block_plot.h"
#include "plot/cumulative_plot.h"
#include "plot/out_of_memory.h"
#include "plot/report_page.h"
#include "plot/run_model.h"
#include "plot/spectra_plot.h"
#include "plot/svg.h"
#include "plot/window_plot.h"
#include "report/output_files.h"
#include "report/output_guard.h"
#include "textio/output_file.h"

namespace ecflux::plot {
namespace {

using report::OutputRole;

// A plot of the run: the file it is written to, whether the run's files
// give it, and the builder of its chart. The report page shows every plot
// drawn, in this order.
struct Plot {
  OutputRole role;
  bool (*drawn)(const RunModel& run);
  Chart (*build)(const RunModel& run);
};

bool always(const RunModel&) { return true; }

constexpr Plot plots[] = {
    {OutputRole::block_plot, always,
     [](const RunModel& run) { return block_flux_chart(run.blocks, run.time_scale); }},
    {OutputRole::cumulative_plot, always,
     [](const RunModel& run) {
       return cumulative_flux_chart(run.cumulative, run.shifted, run.clock ? &*run.clock : nullptr,
                                    run.time_scale);
     }},
    {OutputRole::window_plot, always,
     [](const RunModel& run) { return window_flux_chart(run.windows, run.window); }},
    {OutputRole::cospectra_plot, [](const RunModel& run) { return run.spectra.has_value(); },
     [](const RunModel& run) { return spectra_chart(*run.spectra, run.blocks); }},
};

// The name of a file that ecflux-plot writes.
std::string_view file_name(OutputRole role) { return report::output_file(role).fixed_name; }

// A file that the program writes, and its text.
struct OutputText {
  std::string_view name;
  std::string text;
};

// The plots and the report page, in the order they are written. All are
// drawn before any is written, so that a run that fails part way leaves the
// plots of an earlier run as they were; what was read is given back before
// the writing, which then needs little memory.
base::Result<std::vector<OutputText>> draw_outputs(const input::Configuration& config) {
  ECFLUX_TRY_VALUE(run, read_run(config));
  std::vector<Chart> charts;
  std::vector<OutputText> outputs;
  for (const Plot& plot : plots) {
    if (!plot.drawn(run)) continue;
    const std::string_view name = file_name(plot.role);
    auto svg = guarding_memory("drawing", {name}, [&] {
      charts.push_back(plot.build(run));
      return base::Result<std::string>(render_svg(charts.back()));
    });
    if (!svg.ok()) return std::move(svg.failure());
    outputs.push_back({name, std::move(svg.value())});
  }
  const std::string_view page_name = file_name(OutputRole::report_page);
  auto page = guarding_memory("drawing", {page_name}, [&] {
    std::error_code error;
    return base::Result<std::string>(
        report_page(run, std::filesystem::current_path(error).string(), charts));
  });
  if (!page.ok()) return std::move(page.failure());
  outputs.push_back({page_name, std::move(page.value())});
  return outputs;
}

// Refuses a configuration under which a plot would replace an input or an
// output of the run, and a standard output that is one of the run's files,
// where the printed paths would land in a file that is read or replaced.
base::Status check_run_files(const input::Configuration& config) {
  const report::RunFileNames names{config.data_file_name, input::configuration_file_name,
                                   config.results_file_name};
  if (auto distinct = report::check_files_are_distinct(names); !distinct.ok()) return distinct;
  return report::check_standard_stream(STDOUT_FILENO, names);
}

// Writes each drawn file aside, beside the file it replaces. The process id
// keeps the staged files of two ecflux-plot processes in one folder apart,
// which the shared lock lets run at once. A file's text is given back once it
// is written, so that writing needs little more memory than drawing did.
base::Result<std::vector<textio::OutputFile>> write_aside(std::vector<OutputText>& outputs) {
  const std::string tag = std::to_string(::getpid());
  std::vector<textio::OutputFile> files;
  for (OutputText& output : outputs) {
    auto written = guarding_memory("writing", {output.name}, [&] {
      auto file = textio::OutputFile::open_staged(output.name, 0, tag);
      if (!file.ok()) return file;
      file.value().write_text(output.text);
      if (auto finished = file.value().finish(false); !finished.ok()) {
        return base::Result<textio::OutputFile>(std::move(finished.failure()));
      }
      return file;
    });
    if (!written.ok()) return std::move(written.failure());
    std::string().swap(output.text);
    files.push_back(std::move(written.value()));
  }
  return files;
}

// Puts the files written aside in place, in their order, and prints the path
// of each. A file not yet put in place when one fails is removed with its
// object.
base::Status put_in_place(std::vector<textio::OutputFile>& files, std::ostream& out) {
  for (textio::OutputFile& file : files) {
    if (auto placed = file.put_in_place(); !placed.ok()) return placed;
    out << file.path() << '\n';
  }
  return {};
}

// Removes a plot of an earlier drawing that this run's files no longer give
// (the cospectra of a run that is now without --spectra): it shows other
// results. Only a regular file goes; a link or a device is left as it is.
void remove_stale_plots(const std::vector<OutputText>& outputs) {
  for (const Plot& plot : plots) {
    const std::string_view name = file_name(plot.role);
    const bool written = std::any_of(outputs.begin(), outputs.end(),
                                     [&](const OutputText& output) { return output.name == name; });
    struct stat status {};
    const std::string path(name);
    if (!written && ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
      ::unlink(path.c_str());
  }
}

base::Status plot_run(std::ostream& out) {
  const auto lock = base::lock_folder_for_reading("; nothing was drawn");
  if (!lock.ok()) return lock.failure();
  const auto config = guarding_memory("reading", {input::configuration_file_name},
                                      [] { return input::read_configuration(); });
  if (!config.ok()) return config.failure();
  if (auto guarded = check_run_files(config.value()); !guarded.ok()) return guarded;
  ECFLUX_TRY_VALUE(outputs, draw_outputs(config.value()));
  ECFLUX_TRY_VALUE(files, write_aside(outputs));
  if (auto placed = put_in_place(files, out); !placed.ok()) return placed;
  remove_stale_plots(outputs);
  return {};
}

}  // namespace

void report_failure(std::ostream& err, const base::Failure& failure) {
  if (const base::IoFailure* io = failure.io_failure()) {
    err << "ecflux-plot: " << base::failure_text(*io) << '\n';
  } else {
    err << base::fatal_message(failure, "ecflux-plot") << '\n';
  }
}

int run_plot_tool(std::ostream& out, std::ostream& err) {
  try {
    const base::Status status = plot_run(out);
    if (status.ok()) return 0;
    report_failure(err, status.failure());
    return 1;
  } catch (const std::bad_alloc&) {
    // Even the message of a step could not be made: one that needs no memory.
    err << "ecflux-plot: out of memory\n";
    return 1;
  }
}

}  // namespace ecflux::plot
