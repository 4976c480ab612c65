#pragma once

// Fluctuations of w and temperature about the block mean, the least-squares
// line and the running mean; the zero-shift heat fluxes; and the rows of the
// cumulative-flux file "cumflux.out".

#include <cstdint>
#include <string_view>
#include <vector>

#include "input/block_reader.h"
#include "stats/block_statistics.h"
#include "textio/output_file.h"

namespace ecflux::stats {

inline constexpr double water_density = 1025.0;  // kg/m3
inline constexpr double specific_heat = 4008.0;  // J/(kg K)

// Heat flux of a covariance integral over `duration` seconds: divided by the
// duration, then times the density, then times the specific heat.
inline double heat_flux(double covariance_integral, double duration) {
  return covariance_integral / duration * water_density * specific_heat;
}

inline constexpr std::string_view cumulative_flux_file_name = "cumflux.out";
inline constexpr int cumulative_flux_unit = 43;

// The header text of "cumflux.out" and of the shifted file; each column label
// ends in the last column of its field.
inline constexpr std::string_view cumulative_flux_header =
    "        TIME      CUMFLUX        COVAR       ZPRIME      O2PRIME";

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

// The values of a block's rows of "cumflux.out" or "CFSHIFT.out", column by
// column. They are formed with the block and written later, possibly by
// another thread, so they do not depend on storage that the next block
// overwrites. COVAR is the product of the two fluctuations, formed again when
// the row is written: the same product gives the same double.
struct SeriesRows {
  std::vector<double> time;
  std::vector<double> cumulative;               // CUMFLUX
  std::vector<double> w_fluctuation;            // ZPRIME
  std::vector<double> temperature_fluctuation;  // O2PRIME

  void clear();
  void add(double row_time, double row_cumulative, double row_w, double row_temperature);
  std::size_t size() const { return time.size(); }
};

// The rows, each five values in 1X,F12.8.
void write_series_rows(textio::OutputFile& file, const SeriesRows& rows);

// Forms the fluctuation series, adds each sample's running-mean product / fs
// to the run's cumulative_flux and appends the sample's row of "cumflux.out"
// to `rows`, then turns the three sums into heat fluxes over the block's
// duration N / fs.
ZeroShiftFluxes build_cumulative_flux(const input::Block& block, std::int32_t block_samples,
                                      double sample_rate, const BlockStatistics& statistics,
                                      FluctuationSeries& series, double& cumulative_flux,
                                      SeriesRows& rows);

}  // namespace ecflux::stats
