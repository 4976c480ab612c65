#include "driver/block_pipeline.h"

#include <span>

#include "flux/shifted_cumulative_flux.h"
#include "stats/steady_state.h"

namespace ecflux::driver {

report::BlockFacts block_facts(const input::Block& block, const input::BlockSizes& sizes,
                               std::int64_t index, const input::BlockFindings& findings,
                               double seconds_per_time_unit) {
  const auto n = static_cast<std::size_t>(sizes.block_samples);
  report::BlockFacts facts;
  facts.index = index;
  facts.first_line = block.sample_line[0];
  facts.last_line = block.sample_line[n - 1];
  facts.samples = sizes.block_samples;
  facts.steady_state_difference_percent =
      stats::steady_state_difference(block, sizes.block_samples);
  facts.time_step_max_s = findings.largest_step * seconds_per_time_unit;
  facts.implausible_values = findings.implausible_values;
  facts.uneven_steps = findings.uneven_steps;
  facts.values_unread = findings.values_unread;
  return facts;
}

BlockPipeline::BlockPipeline(const input::BlockSizes& sizes, flux::SweepOptions sweep,
                             bool keep_series)
    : sizes_(sizes), keep_series_(keep_series), sweeper_(sizes, sweep) {}

BlockResult BlockPipeline::process(const input::Block& block, report::BlockFacts facts) {
  if (series_.w_dev_run.empty()) {
    statistics_ = stats::make_block_statistics(sizes_.block_samples);
    series_ = stats::make_fluctuation_series(sizes_.block_samples);
    shift_tables_ = flux::make_shift_tables(sizes_);
  }
  stats::compute_block_statistics(block, sizes_, statistics_, block_mean_time_);
  auto cumflux = std::make_shared<stats::SeriesRows>();
  auto cfshift = std::make_shared<stats::SeriesRows>();
  const stats::ZeroShiftFluxes zero_shift =
      stats::build_cumulative_flux(block, sizes_, statistics_, series_, cumulative_flux_, *cumflux);
  const flux::ShiftSearch search =
      flux::search_time_shifts(series_, sizes_, zero_shift, shift_tables_);
  flux::write_shifted_cumulative_flux(block, sizes_, series_, search.shift_index_run_min,
                                      shift_cum_flux_, *cfshift);
  facts.linear = flux::delay_corrected_linear(search);
  facts.running = flux::delay_corrected_running(search);
  const auto n = static_cast<std::size_t>(sizes_.block_samples);
  sweeper_.add_block(std::span(block.w).first(n), std::span(block.temperature).first(n));
  BlockResult result{report::make_block_report(statistics_, zero_shift, search), facts,
                     report::quality_flag(facts), nullptr, nullptr};
  if (keep_series_) {
    result.cumflux = std::move(cumflux);
    result.cfshift = std::move(cfshift);
  }
  return result;
}

}  // namespace ecflux::driver
