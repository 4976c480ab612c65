// Despiking through the program: spikes put at known samples of a record
// are counted in blocks.csv and taken out of its fluxes.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/quality/quality_runs.h"

namespace ecflux {
namespace {

using quality_testing::CsvTable;
using quality_testing::FieldRecord;
using quality_testing::run_ecflux;
using quality_testing::write_field_run;
using testing::TempFolder;

constexpr std::size_t block_samples = 4800;  // 300 s at 16 Hz
constexpr int block_seconds = 300;

struct Spike {
  std::size_t sample;
  double u = 0.0, w = 0.0, temperature = 0.0;  // added, cm/s and degrees
};

// In each of the first two blocks: 8 spikes of w, 5 of temperature (two of
// them with a spike of w, as a bubble in both beams would give: they make a
// flux of their own) and 3 of u, none of v. The third block has 60 spikes
// of w, more than 1 % of its samples.
std::vector<Spike> spikes() {
  std::vector<Spike> placed;
  for (const std::size_t start : {std::size_t{0}, block_samples}) {
    const double w_sizes[] = {30.0, -25.0, 22.0, -35.0, 28.0, -20.0, 40.0, 25.0};
    for (std::size_t k = 0; k < 8; ++k) {
      placed.push_back({start + 301 + 547 * k, 0.0, w_sizes[k], 0.0});
    }
    placed[placed.size() - 8].temperature = -0.1;  // with the first two spikes of w
    placed[placed.size() - 7].temperature = 0.12;
    for (const std::size_t at : {start + 1000, start + 2222, start + 4000}) {
      placed.push_back({at, 0.0, 0.0, 0.09});
    }
    for (const std::size_t at : {start + 123, start + 2500, start + 3777}) {
      placed.push_back({at, -40.0, 0.0, 0.0});
    }
  }
  for (std::size_t k = 0; k < 60; ++k) {
    placed.push_back({2 * block_samples + 40 + 79 * k, 0.0, k % 2 == 0 ? 30.0 : -30.0, 0.0});
  }
  return placed;
}

TEST(Despiking, SpikesAreCountedAndTheFluxIsThatOfTheCleanRecord) {
  const FieldRecord clean =
      quality_testing::turbulent_field(3 * block_samples, block_samples, 16.0, 5);
  FieldRecord spiky = clean;
  for (const Spike& spike : spikes()) {
    spiky.u[spike.sample] += spike.u;
    spiky.w[spike.sample] += spike.w;
    spiky.temperature[spike.sample] += spike.temperature;
  }
  TempFolder clean_run, spiky_plain, spiky_despiked;
  write_field_run(clean_run, clean, block_seconds);
  write_field_run(spiky_plain, spiky, block_seconds);
  write_field_run(spiky_despiked, spiky, block_seconds);
  for (const auto& [folder, arguments] :
       {std::pair{&clean_run, std::vector<std::string>{"--csv", "--despike"}},
        std::pair{&spiky_plain, std::vector<std::string>{"--csv"}},
        std::pair{&spiky_despiked, std::vector<std::string>{"--csv", "--despike"}}}) {
    const testing::ProcessResult run = run_ecflux(folder->path(), arguments);
    ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  }
  const CsvTable clean_blocks(clean_run / "blocks.csv");
  const CsvTable plain_blocks(spiky_plain / "blocks.csv");
  const CsvTable blocks(spiky_despiked / "blocks.csv");
  ASSERT_EQ(blocks.rows(), 3u);

  for (std::size_t block = 0; block < 2; ++block) {
    SCOPED_TRACE("block " + std::to_string(block + 1));
    // Each spike is found, with at most two neighbours either side whose
    // differences it carries. The threshold lets a clean record of this
    // length give an alarm or two per test, each with its neighbours.
    const auto found = [&](const std::string& column, double placed) {
      const double spikes = blocks.number(block, column);
      const double false_alarms = clean_blocks.number(block, column);
      EXPECT_LE(false_alarms, 10) << column;
      EXPECT_GE(spikes, placed) << column;
      EXPECT_LE(spikes, 5 * placed + false_alarms) << column;
    };
    found("spikes_w", 8);
    found("spikes_temperature", 5);
    found("spikes_u", 3);
    found("spikes_v", 0);

    const double flux = blocks.number(block, "flux_linear_W_m2");
    const double clean_flux = clean_blocks.number(block, "flux_linear_W_m2");
    EXPECT_NEAR(flux, clean_flux, 0.01 * std::fabs(clean_flux));
    // The coinciding spikes move the flux of the record as measured.
    EXPECT_GT(std::fabs(plain_blocks.number(block, "flux_linear_W_m2") - clean_flux),
              0.03 * std::fabs(clean_flux));
    EXPECT_EQ(blocks.number(block, "quality_flag"), clean_blocks.number(block, "quality_flag"));
  }
  // More than 1 % of w were spikes: use with care.
  EXPECT_GE(blocks.number(2, "spikes_w"), 60);
  EXPECT_EQ(blocks.number(2, "quality_flag"), 1);
  EXPECT_EQ(clean_blocks.number(2, "quality_flag"), 0);
}

}  // namespace
}  // namespace ecflux
