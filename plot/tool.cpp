#include "plot/tool.h"

#include <array>
#include <string>

#include "input/configuration.h"
#include "plot/plots.h"
#include "report/output_files.h"
#include "textio/output_file.h"

namespace ecflux::plot {
namespace {

// The failure in the words that ecflux uses for the same condition.
void report(std::ostream& err, const textio::Failure& failure) {
  if (const textio::IoFailure* io = failure.io_failure()) {
    err << "ecflux-plot: " << textio::failure_text(*io) << '\n';
  } else {
    err << textio::fatal_message(failure, "ecflux-plot") << '\n';
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
textio::Result<textio::LineReader> open_output(report::OutputRole role,
                                               std::string_view results_name) {
  const report::OutputFileInfo& file = report::output_file(role);
  return textio::LineReader::open(report::output_name(file, results_name), file.unit);
}

}  // namespace

int run_plot_tool(std::ostream& out, std::ostream& err) {
  const auto config = input::read_configuration();
  if (!config.ok()) {
    report(err, config.failure());
    return 1;
  }
  using report::OutputRole;
  const std::string& results_name = config.value().results_file_name;
  auto results = open_output(OutputRole::results, results_name);
  auto cumflux = open_output(OutputRole::cumulative_flux, results_name);
  auto cfshift = open_output(OutputRole::shifted_cumulative_flux, results_name);
  auto cospectra = open_output(OutputRole::window_flux_table, results_name);
  for (const auto* file : {&results, &cumflux, &cfshift, &cospectra}) {
    if (!file->ok()) {
      report(err, file->failure());
      return 1;
    }
  }

  std::vector<std::string> block_times;
  auto block_chart = block_flux_chart(results.value(), results_name, &block_times);
  if (!block_chart.ok()) {
    report(err, block_chart.failure());
    return 1;
  }
  auto cumulative_chart = cumulative_flux_chart(cumflux.value(), cfshift.value());
  if (!cumulative_chart.ok()) {
    report(err, cumulative_chart.failure());
    return 1;
  }
  auto window_chart = window_flux_chart(cospectra.value(), run_window(config.value()), block_times);
  if (!window_chart.ok()) {
    report(err, window_chart.failure());
    return 1;
  }

  const std::array<std::pair<std::string_view, const Chart*>, 3> plots = {{
      {block_plot_name, &block_chart.value()},
      {cumulative_plot_name, &cumulative_chart.value()},
      {window_plot_name, &window_chart.value()},
  }};
  for (const auto& [name, chart] : plots) {
    auto file = textio::OutputFile::create(name, 0);
    if (!file.ok()) {
      report(err, file.failure());
      return 1;
    }
    file.value().write_text(render_svg(*chart));
    file.value().close();
    if (auto status = file.value().status(); !status.ok()) {
      report(err, status.failure());
      return 1;
    }
    out << file.value().path() << '\n';
  }
  return 0;
}

}  // namespace ecflux::plot
