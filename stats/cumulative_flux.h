#pragma once

// Fluctuations of w and temperature about the block mean, the least-squares
// line and the running mean; the zero-shift heat fluxes; and the values of the
// cumulative-flux series, one row per sample.

#include <cstdint>
#include <vector>

#include "input/block_reader.h"
#include "input/configuration.h"
#include "stats/block_statistics.h"

namespace ecflux::stats {

// The water whose heat the flux carries: sea water by default (--density and
// --heat-capacity give others, such as fresh water's 1000 and 4186).
struct Medium {
  double density = 1025.0;        // kg/m3
  double specific_heat = 4008.0;  // J/(kg K)
};

// Heat flux of a covariance integral over `duration` seconds: divided by the
// duration, then times the density, then times the specific heat, two
// multiplications in this order (one by their product would round
// differently).
inline double heat_flux(double covariance_integral, double duration, const Medium& medium = {}) {
  return covariance_integral / duration * medium.density * medium.specific_heat;
}

// The six fluctuation series of a block, indexed from 0.
struct FluctuationSeries {
  std::vector<double> w_dev_mean, t_dev_mean;
  std::vector<double> w_dev_lin, t_dev_lin;
  std::vector<double> w_dev_run, t_dev_run;  // written as ZPRIME and O2PRIME
};

FluctuationSeries make_fluctuation_series(std::int32_t block_samples);

// Zero-shift covariance integrals (products divided by fs, summed) and fluxes.
struct ZeroShiftFluxes {
  double cov_sum_mean = 0.0, cov_sum_lin = 0.0, cov_sum_run = 0.0;
  double flux_mean = 0.0;
  double flux_lin = 0.0;  // FLUX-L
  double flux_run = 0.0;  // FLUX-R
};

// The values of a block's rows of a cumulative-flux series (unshifted or
// shifted), column by column. They are formed with the block and written
// later, possibly by another thread, so they do not depend on storage that the
// next block overwrites. The covariance of a row is the product of its two
// fluctuations, formed again when the row is written: the same product gives
// the same double.
struct SeriesRows {
  std::vector<double> time;
  std::vector<double> cumulative;               // running total of the products / fs
  std::vector<double> w_fluctuation;            // about the running mean, m/s
  std::vector<double> temperature_fluctuation;  // about the running mean (or shifted), K

  void clear();
  void add(double row_time, double row_cumulative, double row_w, double row_temperature);
  std::size_t size() const { return time.size(); }
};

// Forms the fluctuation series, adds each sample's running-mean product / fs
// to the run's cumulative_flux and appends the sample's row of the
// cumulative-flux series to `rows`, then turns the three sums into heat fluxes
// over the block's duration N / fs.
ZeroShiftFluxes build_cumulative_flux(const input::Block& block, const input::BlockSizes& sizes,
                                      const BlockStatistics& statistics, FluctuationSeries& series,
                                      double& cumulative_flux, SeriesRows& rows,
                                      const Medium& medium = {});

}  // namespace ecflux::stats
