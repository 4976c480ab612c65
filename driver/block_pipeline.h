#pragma once

// The steps of a complete block in their order, and the window sweep of all
// blocks: the computing heart of a run, whatever the samples come from (a data
// file, arrays in memory) and wherever its results go (the run's files, a
// Python caller). It knows no file.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "flux/time_shifts.h"
#include "flux/window_sweeper.h"
#include "input/block_reader.h"
#include "input/command_line.h"
#include "input/data_warnings.h"
#include "qc/block_quality.h"
#include "qc/fourier.h"
#include "qc/spectra.h"
#include "report/block_results.h"
#include "report/csv_files.h"
#include "stats/block_statistics.h"
#include "stats/cumulative_flux.h"

namespace ecflux::driver {

// What the pipeline computes beyond the results of the plain run.
struct PipelineOptions {
  // Each block's rows of the cumulative-flux files come with its result.
  bool keep_series = false;
  stats::Medium medium;      // the density and heat capacity of the heat flux
  bool uncertainty = false;  // the random error of each block's fluxes
  bool spectra = false;      // each block's binned spectra and ogive
};

// The pipeline that the options of quality control ask for.
PipelineOptions pipeline_options(const input::QualityOptions& quality, bool keep_series = true);

// The groups of columns of blocks.csv that the options of quality control
// add.
report::QualityColumns quality_columns(const input::QualityOptions& quality);

// What quality control did to a block's samples, into the block's facts.
void apply_block_quality(const qc::BlockQuality& quality, report::BlockFacts& facts);

// What a complete block gives, formed with the block.
struct BlockResult {
  report::BlockReport report;  // the results row and the progress line
  report::BlockFacts facts;    // what blocks.csv tells beyond them
  int quality_flag = 0;
  // The block's rows of the two cumulative-flux files; empty unless kept.
  std::shared_ptr<const stats::SeriesRows> cumflux;
  std::shared_ptr<const stats::SeriesRows> cfshift;
  // With PipelineOptions::spectra: the block's spectra in frequency bins.
  std::vector<qc::SpectrumBin> spectrum;
};

// What blocks.csv and the block's flag tell of a block beyond its results
// row, but for the delay-corrected fluxes, which the delay search gives.
report::BlockFacts block_facts(const input::Block& block, const input::BlockSizes& sizes,
                               std::int64_t index, const input::BlockFindings& findings,
                               double seconds_per_time_unit);

class BlockPipeline {
 public:
  BlockPipeline(const input::BlockSizes& sizes, flux::SweepOptions sweep, PipelineOptions options);

  // The block's statistics, fluctuations, zero-shift fluxes, delay search
  // and rows; its window sweep goes to the sweeper, to be done with others.
  BlockResult process(const input::Block& block, report::BlockFacts facts);

  // Waits for the sweeps of every block and gives the window-flux table;
  // nothing when the run was asked to stop first.
  std::optional<flux::WindowFluxTable> finish() { return sweeper_.finish(); }

  const std::vector<double>& block_mean_times() const { return block_mean_time_; }

 private:
  void add_quality_extras(const input::Block& block, BlockResult& result);

  input::BlockSizes sizes_;
  PipelineOptions options_;
  // The transforms of the random error and the spectra, made with the first
  // block that needs them.
  std::unique_ptr<qc::RealTransform> correlation_transform_;
  std::unique_ptr<qc::RealTransform> block_transform_;
  // Made with the first block, so that a run that never fills one does not
  // hold them.
  stats::BlockStatistics statistics_;
  stats::FluctuationSeries series_;
  flux::ShiftTables shift_tables_;
  // What lasts from one block to the next.
  double cumulative_flux_ = 0.0;
  double shift_cum_flux_ = 0.0;
  std::vector<double> block_mean_time_;
  flux::WindowSweeper sweeper_;
};

}  // namespace ecflux::driver
