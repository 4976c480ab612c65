#include "driver/block_pipeline.h"

#include <span>

#include "flux/shifted_cumulative_flux.h"
#include "qc/random_error.h"
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

PipelineOptions pipeline_options(const input::QualityOptions& quality, bool keep_series) {
  return {
      keep_series, {quality.density, quality.heat_capacity}, quality.uncertainty, quality.spectra};
}

report::QualityColumns quality_columns(const input::QualityOptions& quality) {
  return {quality.missing, quality.despike,
          quality.rotation != input::QualityOptions::Rotation::none, quality.uncertainty,
          quality.spectra};
}

void apply_block_quality(const qc::BlockQuality& quality, report::BlockFacts& facts) {
  report::BlockFacts::Quality& q = facts.quality;
  q.missing_samples = quality.missing_samples;
  q.beyond_allowance = quality.beyond_allowance;
  q.spikes = {quality.spikes.u, quality.spikes.v, quality.spikes.w, quality.spikes.temperature};
  q.too_many_spikes = quality.too_many_spikes;
  q.spikes_may_remain = quality.despike_pass_limit_reached;
  q.yaw = quality.yaw;
  q.pitch = quality.pitch;
  q.roll = quality.roll;
}

BlockPipeline::BlockPipeline(const input::BlockSizes& sizes, flux::SweepOptions sweep,
                             PipelineOptions options)
    : sizes_(sizes), options_(options), sweeper_(sizes, sweep) {}

BlockResult BlockPipeline::process(const input::Block& block, report::BlockFacts facts) {
  if (series_.w_dev_run.empty()) {
    statistics_ = stats::make_block_statistics(sizes_.block_samples);
    series_ = stats::make_fluctuation_series(sizes_.block_samples);
    shift_tables_ = flux::make_shift_tables(sizes_);
  }
  stats::compute_block_statistics(block, sizes_, statistics_, block_mean_time_);
  auto cumflux = std::make_shared<stats::SeriesRows>();
  auto cfshift = std::make_shared<stats::SeriesRows>();
  // A block left with missing values has rows that are not numbers; the
  // running totals of the cumulative-flux files go on from before it.
  const double cumulative_before = cumulative_flux_;
  const double shifted_before = shift_cum_flux_;
  const stats::ZeroShiftFluxes zero_shift = stats::build_cumulative_flux(
      block, sizes_, statistics_, series_, cumulative_flux_, *cumflux, options_.medium);
  const flux::ShiftSearch search =
      flux::search_time_shifts(series_, sizes_, zero_shift, shift_tables_, options_.medium);
  flux::write_shifted_cumulative_flux(block, sizes_, series_, search.shift_index_run_min,
                                      shift_cum_flux_, *cfshift);
  if (facts.quality.beyond_allowance) {
    cumulative_flux_ = cumulative_before;
    shift_cum_flux_ = shifted_before;
  }
  facts.linear = flux::delay_corrected_linear(search);
  facts.running = flux::delay_corrected_running(search);
  const auto n = static_cast<std::size_t>(sizes_.block_samples);
  sweeper_.add_block(std::span(block.w).first(n), std::span(block.temperature).first(n));
  BlockResult result{
      report::make_block_report(statistics_, zero_shift, search), facts, 0, nullptr, nullptr, {}};
  add_quality_extras(block, result);
  result.quality_flag = report::quality_flag(result.facts);
  if (options_.keep_series) {
    result.cumflux = std::move(cumflux);
    result.cfshift = std::move(cfshift);
  }
  return result;
}

void BlockPipeline::add_quality_extras(const input::Block& block, BlockResult& result) {
  const auto n = static_cast<std::size_t>(sizes_.block_samples);
  const std::span<const double> w = std::span(block.w).first(n);
  const std::span<const double> temperature = std::span(block.temperature).first(n);
  report::BlockFacts::Quality& quality = result.facts.quality;
  if (options_.uncertainty) {
    const std::int64_t lags = qc::integration_lags(sizes_.block_samples, sizes_.sample_rate);
    if (!correlation_transform_) {
      correlation_transform_ = std::make_unique<qc::RealTransform>(
          qc::correlation_transform_length(static_cast<std::int64_t>(n), lags));
    }
    // In W/m² as the fluxes are formed: times the density, then the heat
    // capacity.
    const auto in_watts = [this](const qc::RandomError& error) {
      return error.standard_error * options_.medium.density * options_.medium.specific_heat;
    };
    quality.random_error_linear =
        in_watts(qc::random_error(w, temperature, lags, *correlation_transform_));
    quality.random_error_run = in_watts(qc::random_error(std::span(series_.w_dev_run).first(n),
                                                         std::span(series_.t_dev_run).first(n),
                                                         lags, *correlation_transform_));
    quality.random_error_lag = static_cast<double>(lags) / sizes_.sample_rate;
  }
  if (options_.spectra) {
    if (!block_transform_) block_transform_ = std::make_unique<qc::RealTransform>(n);
    const qc::BlockSpectra spectra =
        qc::block_spectra(w, temperature, sizes_.sample_rate, *block_transform_);
    quality.low_frequency_share = qc::low_frequency_share(spectra);
    quality.ogive_not_levelled = qc::ogive_not_levelled(spectra);
    result.spectrum = qc::bin_spectra(spectra);
  }
}

}  // namespace ecflux::driver
