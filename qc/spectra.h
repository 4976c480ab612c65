#pragma once

// The spectra of a block: how the variance of w and of temperature and their
// covariance (the flux) spread over frequency, from the block's linearly
// detrended series, one-sided, as densities per hertz at the frequencies
// k fs / n, k = 1 ... n / 2. The ogive, the cospectrum summed from the
// highest frequency down, shows whether the block is long enough to hold the
// eddies that carry its flux.

#include <cstdint>
#include <span>
#include <vector>

#include "qc/fourier.h"

namespace ecflux::qc {

inline constexpr int default_bins_per_decade = 10;
// The ogive has not levelled off when the lowest frequencies, 1, 2 and 3
// cycles a block (periods of a third of the block and longer), carry more
// than this share of the block's flux, either sign.
inline constexpr int ogive_low_frequencies = 3;
inline constexpr double ogive_low_share_limit = 0.2;

struct BlockSpectra {
  double frequency_step = 0.0;  // fs / n, Hz
  // Of the detrended series, their sum of products over n: the cospectrum
  // summed over every frequency times frequency_step equals it.
  double covariance = 0.0;
  std::vector<double> frequency;  // k fs / n, k = 1 ... n / 2, Hz
  // Densities per hertz: the sum over the frequencies times frequency_step
  // is the covariance, or the variance of w or temperature about its line
  // (over n).
  std::vector<double> cospectrum;
  std::vector<double> power_w;
  std::vector<double> power_temperature;
  // The cospectrum summed from the highest frequency down to each frequency,
  // over its sum at the lowest: exactly 1 at the lowest frequency. That sum
  // is the covariance (to rounding), which it stands for so that the ogive
  // ends at 1 exactly.
  std::vector<double> ogive;
};

// The spectra of one block of w and temperature sampled at `sample_rate`.
// The transform is as long as the block.
BlockSpectra block_spectra(std::span<const double> w, std::span<const double> temperature,
                           double sample_rate, RealTransform& transform);

// Frequencies gathered into logarithmic bins: bin j holds the frequencies f
// with j <= bins_per_decade x log10(f) < j + 1. Only bins that hold a
// frequency are given, lowest first.
struct SpectrumBin {
  double frequency = 0.0;  // the mean of the bin's frequencies, Hz
  std::int64_t count = 0;  // frequencies in the bin
  // The means of the densities at the bin's frequencies.
  double cospectrum = 0.0;
  double power_w = 0.0;
  double power_temperature = 0.0;
  double ogive = 0.0;  // at the bin's lowest frequency
};

std::vector<SpectrumBin> bin_spectra(const BlockSpectra& spectra,
                                     int bins_per_decade = default_bins_per_decade);

// The share of the block's flux carried by its lowest frequencies: 1 minus
// the ogive just above them. Not a number for blocks with too few
// frequencies.
double low_frequency_share(const BlockSpectra& spectra);

// The flux of the block is carried in good part by eddies as long as the
// block, which it does not hold whole: |low_frequency_share| exceeds the
// limit.
bool ogive_not_levelled(const BlockSpectra& spectra);

}  // namespace ecflux::qc
