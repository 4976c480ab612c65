#include "plot/spectra_reading.h"

#include <array>
#include <cmath>
#include <map>
#include <string_view>
#include <utility>

#include "plot/block_lines.h"
#include "plot/csv_reader.h"

namespace ecflux::plot {
namespace {

constexpr std::string_view block_column = "block", frequency_column = "frequency_Hz",
                           count_column = "frequencies_in_bin",
                           cospectrum_column = "cospectrum_K_m", ogive_column = "ogive";

// One bin of the block being read; a bin without a frequency breaks the
// block's lines.
struct Bin {
  bool drawn = false;
  double frequency = 0.0;
  Field cospectrum;  // the mean density, K·m
  Field ogive;
};

// The rows of one block as they come, until the next block begins: its
// covariance is known only from all of them.
struct PendingBlock {
  std::int64_t block = 0;  // from 1, as the file numbers it; 0 for none
  std::vector<Bin> bins;
  double covariance_sum = 0.0;  // of the counts times the densities
};

class SpectraReader {
 public:
  SpectraReader(BlockSpectra& spectra, double frequency_step, std::size_t line_limit,
                const std::vector<std::string>& block_times)
      : spectra_(spectra), frequency_step_(frequency_step), line_of_block_(block_times.size()) {
    const auto shown = shown_blocks(block_times.size(), line_limit);
    spectra_.shown.reserve(shown.size());
    for (const std::size_t b : shown) {
      spectra_.shown.push_back(
          {b, block_times[b].empty() ? "(not a number)" : block_times[b], {}, {}});
      line_of_block_[b] = &spectra_.shown.back();
    }
  }

  void take_row(const CsvFile& csv, const std::array<std::size_t, 5>& at) {
    const Field block = csv.number(at[0]);
    const std::int64_t number = block.state == FieldState::number && block.value >= 1.0 &&
                                        block.value <= static_cast<double>(spectra_.block_count)
                                    ? static_cast<std::int64_t>(block.value)
                                    : 0;
    if (number != pending_.block) finish_block();
    pending_.block = number;
    const Field frequency = csv.number(at[1]);
    if (!spectra_.skipped[0].count.take(frequency) || !(frequency.value > 0.0)) {
      if (frequency.state == FieldState::number) ++spectra_.skipped[0].count.not_a_number;
      pending_.bins.push_back({});
      return;
    }
    const Field count = csv.number(at[2]);
    const Field cospectrum = csv.number(at[3]);
    if (spectra_.skipped[1].count.take(cospectrum) && count.state == FieldState::number) {
      pending_.covariance_sum += count.value * cospectrum.value;
    }
    const Field ogive = csv.number(at[4]);
    spectra_.skipped[2].count.take(ogive);
    pending_.bins.push_back({true, frequency.value, cospectrum, ogive});
  }

  // The block read last, into the ranges and its lines; then the ranges
  // into their bands, in the order of the frequencies.
  void finish() {
    finish_block();
    for (const auto& [frequency, spread] : cospectrum_spread_)
      spread.add_to(spectra_.cospectrum_range, frequency);
    for (const auto& [frequency, spread] : ogive_spread_)
      spread.add_to(spectra_.ogive_range, frequency);
  }

 private:
  void finish_block() {
    if (pending_.block == 0) {
      pending_.bins.clear();
      return;
    }
    BlockSpectrum* line = line_of_block_[static_cast<std::size_t>(pending_.block - 1)];
    const double covariance = pending_.covariance_sum * frequency_step_;
    const bool weighed = std::isfinite(covariance) && covariance != 0.0;
    if (!weighed) ++spectra_.without_covariance;
    for (const Bin& bin : pending_.bins) {
      if (!bin.drawn) {
        break_lines(line);
        continue;
      }
      const bool weighted = weighed && bin.cospectrum.state == FieldState::number;
      const double share = weighted ? bin.frequency * bin.cospectrum.value / covariance : 0.0;
      if (weighted && std::isfinite(share)) {
        cospectrum_spread_[bin.frequency].take(share);
        if (line) line->cospectrum.add({bin.frequency, share});
      } else if (line) {
        line->cospectrum.gap();
      }
      if (bin.ogive.state == FieldState::number) {
        ogive_spread_[bin.frequency].take(bin.ogive.value);
        if (line) line->ogive.add({bin.frequency, bin.ogive.value});
      } else if (line) {
        line->ogive.gap();
      }
    }
    // A block that comes back later in a damaged file starts a new piece.
    break_lines(line);
    pending_ = {};
  }

  static void break_lines(BlockSpectrum* line) {
    if (!line) return;
    line->cospectrum.gap();
    line->ogive.gap();
  }

  BlockSpectra& spectra_;
  double frequency_step_;
  std::vector<BlockSpectrum*> line_of_block_;
  PendingBlock pending_;
  std::map<double, ValueSpread> cospectrum_spread_;
  std::map<double, ValueSpread> ogive_spread_;
};

}  // namespace

base::Result<BlockSpectra> read_spectra(textio::LineReader cospectra, std::string file_label,
                                        const std::vector<std::string>& block_times,
                                        double frequency_step, std::size_t line_limit) {
  ECFLUX_TRY_VALUE(file, CsvFile::open(std::move(cospectra), file_label,
                                       {block_column, frequency_column, count_column,
                                        cospectrum_column, ogive_column}));
  CsvFile& csv = file;
  const std::array<std::size_t, 5> at = {*csv.column(block_column), *csv.column(frequency_column),
                                         *csv.column(count_column), *csv.column(cospectrum_column),
                                         *csv.column(ogive_column)};
  BlockSpectra spectra;
  spectra.file_label = std::move(file_label);
  spectra.block_count = block_times.size();
  spectra.skipped = {{std::string(frequency_column), {}},
                     {std::string(cospectrum_column), {}},
                     {std::string(ogive_column), {}}};
  SpectraReader reader(spectra, frequency_step, line_limit, block_times);
  for (;;) {
    ECFLUX_TRY_VALUE(next, csv.next());
    if (!next) break;
    ++spectra.rows;
    reader.take_row(csv, at);
  }
  reader.finish();
  return spectra;
}

}  // namespace ecflux::plot
