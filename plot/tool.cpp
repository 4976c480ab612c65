#include "plot/tool.h"

#include <unistd.h>

#include <array>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "input/configuration.h"
#include "plot/plots.h"
#include "plot/report_page.h"
#include "report/output_files.h"
#include "report/output_guard.h"
#include "textio/folder_lock.h"
#include "textio/output_file.h"

namespace ecflux::plot {
namespace {

using report::OutputRole;

// The name of a file that ecflux-plot writes.
std::string_view plot_file_name(OutputRole role) { return report::output_file(role).fixed_name; }

// One step of the program with a lack of memory turned into its failure,
// "out of memory while reading /data/run/Cospectra.out", so that the program
// ends with one line as for any other failure instead of being aborted. The
// message is made once the step's memory is given back.
template <class Step>
auto guarding_memory(std::string_view doing, std::initializer_list<std::string_view> files,
                     Step step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    std::string message = "out of memory while " + std::string(doing);
    const char* joint = " ";
    for (const std::string_view file : files) {
      message += joint + textio::absolute_path(file);
      joint = " and ";
    }
    return textio::ResourceFailure{std::move(message)};
  }
}

// The run's running-mean window: its frequency as the window-flux table gives
// window frequencies, fs over the window's whole sample count.
std::optional<RunWindow> run_window(const input::Configuration& config) {
  const auto sizes = input::derive_block_sizes(config);
  if (!sizes.ok()) return std::nullopt;
  const double samples = sizes.value().window_samples;
  return RunWindow{config.sample_rate / samples, samples / config.sample_rate};
}

// Opens one of the run's output files with its unit.
textio::Result<textio::LineReader> open_output(OutputRole role, std::string_view results_name) {
  const report::OutputFileInfo& file = report::output_file(role);
  return textio::LineReader::open(report::output_name(file, results_name), file.unit);
}

// Whether a CSV file of the run is in the run folder and, where there is a
// results file, was written by the same run: a run closes its CSV files after
// its results file, and a later run without --csv leaves the earlier CSV files
// older than its results file, which must not be drawn as its values.
bool csv_of_this_run(OutputRole role, const std::string& results_name) {
  std::error_code error;
  const auto csv_time =
      std::filesystem::last_write_time(report::output_file(role).fixed_name, error);
  if (error) return false;
  const auto results_time = std::filesystem::last_write_time(results_name, error);
  return error || csv_time >= results_time;
}

// The files the plots are drawn from. When the run's ecflux --csv wrote its
// two CSV files, the blocks and the window fluxes come from them, at full precision
// and never as asterisks; otherwise from the results file and the window-flux
// table.
struct RunInputs {
  bool csv = false;
  std::vector<std::string> names;  // in the order below
  std::vector<textio::LineReader> files;

  textio::LineReader& blocks() { return files[0]; }
  textio::LineReader& cumflux() { return files[1]; }
  textio::LineReader& cfshift() { return files[2]; }
  textio::LineReader& windows() { return files[3]; }
};

textio::Result<RunInputs> open_inputs(const std::string& results_name) {
  RunInputs inputs;
  inputs.csv = csv_of_this_run(OutputRole::blocks_csv, results_name) &&
               csv_of_this_run(OutputRole::window_fluxes_csv, results_name);
  const std::array<OutputRole, 4> roles = {
      inputs.csv ? OutputRole::blocks_csv : OutputRole::results, OutputRole::cumulative_flux,
      OutputRole::shifted_cumulative_flux,
      inputs.csv ? OutputRole::window_fluxes_csv : OutputRole::window_flux_table};
  for (const OutputRole role : roles) {
    inputs.names.emplace_back(report::output_name(report::output_file(role), results_name));
    auto file = guarding_memory("reading", {inputs.names.back()},
                                [&] { return open_output(role, results_name); });
    if (!file.ok()) return std::move(file.failure());
    inputs.files.push_back(std::move(file.value()));
  }
  return inputs;
}

// Where the rows of the cumulative-flux files lie in the record, from the
// blocks' mean times and RUNMIN delays.
SampleClock sample_clock(const input::BlockSizes& sizes, const BlockTable& table) {
  std::vector<double> times, delays;
  for (const BlockValues& block : table.blocks) {
    const auto value = [](const Field& field) {
      return field.state == FieldState::number ? field.value
                                               : std::numeric_limits<double>::quiet_NaN();
    };
    times.push_back(value(block.time));
    delays.push_back(value(block.delay_run_min));
  }
  return SampleClock(sizes, times, delays);
}

// The run read and drawn, in the order of the plot names.
struct DrawnRun {
  BlockTable blocks;
  std::vector<Chart> charts;
  std::size_t window_lengths = 0;
  std::optional<input::BlockSizes> sizes;  // none when the configuration gives no block
  std::optional<TimeUnit> time_unit;
};

textio::Result<DrawnRun> draw_run(RunInputs& inputs, const input::Configuration& config) {
  auto table = guarding_memory("reading", {inputs.names[0]}, [&] {
    return inputs.csv ? read_blocks_csv(std::move(inputs.blocks()), inputs.names[0])
                      : read_results_table(inputs.blocks(), inputs.names[0]);
  });
  if (!table.ok()) return std::move(table.failure());
  DrawnRun run{std::move(table.value()), {}, 0, std::nullopt, std::nullopt};
  auto blocks = guarding_memory("drawing", {plot_file_name(OutputRole::block_plot)}, [&] {
    return textio::Result<Chart>(block_flux_chart(run.blocks));
  });
  if (!blocks.ok()) return std::move(blocks.failure());
  run.charts.push_back(std::move(blocks.value()));

  auto cumulative = guarding_memory("reading", {inputs.names[1], inputs.names[2]}, [&] {
    std::optional<SampleClock> clock;
    if (const auto sizes = input::derive_block_sizes(config); sizes.ok()) {
      run.sizes = sizes.value();
      clock = sample_clock(sizes.value(), run.blocks);
      run.time_unit = clock->time_unit();
    }
    return cumulative_flux_chart(inputs.cumflux(), inputs.cfshift(), clock ? &*clock : nullptr);
  });
  if (!cumulative.ok()) return std::move(cumulative.failure());
  run.charts.push_back(std::move(cumulative.value()));

  auto windows = guarding_memory("reading", {inputs.names[3]}, [&] {
    std::vector<std::string> times;
    for (const BlockValues& block : run.blocks.blocks) times.push_back(block.time_label);
    return inputs.csv ? csv_window_flux_chart(std::move(inputs.windows()), inputs.names[3],
                                              run_window(config), times, default_line_limit,
                                              &run.window_lengths)
                      : window_flux_chart(inputs.windows(), run_window(config), times,
                                          default_line_limit, &run.window_lengths);
  });
  if (!windows.ok()) return std::move(windows.failure());
  run.charts.push_back(std::move(windows.value()));
  return run;
}

RunReport run_report(const input::Configuration& config, const RunInputs& inputs,
                     const DrawnRun& run) {
  std::error_code error;
  RunReport page{std::filesystem::current_path(error).string(),
                 config,
                 run.sizes,
                 &run.blocks,
                 run.window_lengths,
                 run.time_unit,
                 inputs.names,
                 {}};
  for (const Chart& chart : run.charts) page.charts.push_back(&chart);
  return page;
}

// A file that the program writes, and its text.
struct OutputText {
  std::string_view name;
  std::string text;
};

// The three plots and the report page, in the order they are written. All
// are drawn before any is written, so that a run that fails part way leaves
// the plots of an earlier run as they were; the inputs and what was read of
// them are given back before the writing, which then needs little memory.
textio::Result<std::vector<OutputText>> draw_outputs(const input::Configuration& config,
                                                     RunInputs inputs) {
  auto run = draw_run(inputs, config);
  if (!run.ok()) return std::move(run.failure());
  const DrawnRun& drawn = run.value();
  const std::array<std::string_view, 3> plot_names = {plot_file_name(OutputRole::block_plot),
                                                      plot_file_name(OutputRole::cumulative_plot),
                                                      plot_file_name(OutputRole::window_plot)};
  std::vector<OutputText> outputs;
  for (std::size_t i = 0; i < plot_names.size(); ++i) {
    auto svg = guarding_memory("drawing", {plot_names[i]}, [&] {
      return textio::Result<std::string>(render_svg(drawn.charts[i]));
    });
    if (!svg.ok()) return std::move(svg.failure());
    outputs.push_back({plot_names[i], std::move(svg.value())});
  }
  const std::string_view page_name = plot_file_name(OutputRole::report_page);
  auto page = guarding_memory("drawing", {page_name}, [&] {
    return textio::Result<std::string>(report_page(run_report(config, inputs, drawn)));
  });
  if (!page.ok()) return std::move(page.failure());
  outputs.push_back({page_name, std::move(page.value())});
  return outputs;
}

// Refuses a configuration under which a plot would replace an input or an
// output of the run, and a standard output that is one of the run's files,
// where the printed paths would land in a file that is read or replaced.
textio::Status check_run_files(const input::Configuration& config) {
  const report::RunFileNames names{config.data_file_name, input::configuration_file_name,
                                   config.results_file_name};
  if (auto distinct = report::check_files_are_distinct(names); !distinct.ok()) return distinct;
  return report::check_standard_stream(STDOUT_FILENO, names);
}

// Writes each drawn file aside, beside the file it replaces. The process id
// keeps the staged files of two ecflux-plot processes in one folder apart,
// which the shared lock lets run at once. A file's text is given back once it
// is written, so that writing needs little more memory than drawing did.
textio::Result<std::vector<textio::OutputFile>> write_aside(std::vector<OutputText>& outputs) {
  const std::string tag = std::to_string(::getpid());
  std::vector<textio::OutputFile> files;
  for (OutputText& output : outputs) {
    auto written = guarding_memory("writing", {output.name}, [&] {
      auto file = textio::OutputFile::open_staged(output.name, 0, tag);
      if (!file.ok()) return file;
      file.value().write_text(output.text);
      if (auto finished = file.value().finish(false); !finished.ok()) {
        return textio::Result<textio::OutputFile>(std::move(finished.failure()));
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
textio::Status put_in_place(std::vector<textio::OutputFile>& files, std::ostream& out) {
  for (textio::OutputFile& file : files) {
    if (auto placed = file.put_in_place(); !placed.ok()) return placed;
    out << file.path() << '\n';
  }
  return {};
}

textio::Status plot_run(std::ostream& out) {
  const auto lock = textio::lock_folder_for_reading("; nothing was drawn");
  if (!lock.ok()) return lock.failure();
  const auto config = guarding_memory("reading", {input::configuration_file_name},
                                      [] { return input::read_configuration(); });
  if (!config.ok()) return config.failure();
  if (auto guarded = check_run_files(config.value()); !guarded.ok()) return guarded;
  auto inputs = open_inputs(config.value().results_file_name);
  if (!inputs.ok()) return std::move(inputs.failure());
  auto outputs = draw_outputs(config.value(), std::move(inputs.value()));
  if (!outputs.ok()) return std::move(outputs.failure());
  auto files = write_aside(outputs.value());
  if (!files.ok()) return std::move(files.failure());
  return put_in_place(files.value(), out);
}

}  // namespace

void report_failure(std::ostream& err, const textio::Failure& failure) {
  if (const textio::IoFailure* io = failure.io_failure()) {
    err << "ecflux-plot: " << textio::failure_text(*io) << '\n';
  } else {
    err << textio::fatal_message(failure, "ecflux-plot") << '\n';
  }
}

int run_plot_tool(std::ostream& out, std::ostream& err) {
  try {
    const textio::Status status = plot_run(out);
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
