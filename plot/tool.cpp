#include "plot/tool.h"

#include <array>
#include <string>
#include <variant>

#include "driver/configuration.h"
#include "plot/plots.h"
#include "textio/output_file.h"

namespace ecflux::plot {
namespace {

std::string problem(textio::IoCondition condition) {
  switch (condition) {
    case textio::IoCondition::file_not_found: return "file not found";
    case textio::IoCondition::permission_denied: return "permission denied";
    case textio::IoCondition::open_failure: return "cannot be opened";
    case textio::IoCondition::end_of_file: return "ends before its last field";
    case textio::IoCondition::conversion_error: return "a number field holds something else";
    case textio::IoCondition::write_error: return "cannot be written";
    case textio::IoCondition::read_error: return "cannot be read";
  }
  return "cannot be used";
}

void report(std::ostream& err, const textio::IoFailure& failure) {
  err << "ecflux-plot: " << failure.path << ": " << problem(failure.condition) << '\n';
}

// The run's running-mean window: its frequency as "Cospectra.out" gives
// window frequencies, fs over the window's whole sample count.
std::optional<RunWindow> run_window(const driver::Configuration& config) {
  const auto sizes = driver::derive_block_sizes(config);
  if (!std::holds_alternative<driver::BlockSizes>(sizes)) return std::nullopt;
  const double samples = std::get<driver::BlockSizes>(sizes).window_samples;
  return RunWindow{config.sample_rate / samples, samples / config.sample_rate};
}

}  // namespace

int run_plot_tool(std::ostream& out, std::ostream& err) {
  const auto config = driver::read_configuration();
  if (!config.ok()) {
    report(err, config.failure());
    return 1;
  }
  // The unit numbers are those of the main program's files.
  const std::string& results_name = config.value().results_file_name;
  auto results = textio::LineReader::open(results_name, 9);
  auto cumflux = textio::LineReader::open("cumflux.out", 43);
  auto cfshift = textio::LineReader::open("CFSHIFT.out", 889);
  auto cospectra = textio::LineReader::open("Cospectra.out", 40);
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
    if (file.value().failure()) {
      report(err, *file.value().failure());
      return 1;
    }
    out << file.value().path() << '\n';
  }
  return 0;
}

}  // namespace ecflux::plot
