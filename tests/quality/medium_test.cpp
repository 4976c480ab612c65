// The density and heat capacity of the water: every heat flux in W/m² scales
// with their product, nothing else changes, and the defaults given on the
// command line change no byte.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/quality/quality_runs.h"

namespace ecflux {
namespace {

using quality_testing::CsvTable;
using quality_testing::lines_of;
using quality_testing::numbers_of;
using quality_testing::run_ecflux;
using testing::TempFolder;

// Every file of a --csv --uncertainty run but run.json, which records the
// command line and the time; "standard output" for the progress lines.
const std::vector<std::string> compared_files = {
    "results.out", "cumflux.out",       "CFSHIFT.out",    "Cospectra.out",
    "blocks.csv",  "window_fluxes.csv", "standard output"};

std::string file_of(const TempFolder& folder, const testing::ProcessResult& run,
                    const std::string& name) {
  return name == "standard output" ? run.standard_output : folder.read(name);
}

struct MediumRuns {
  TempFolder plain, fresh_water, defaults;
  testing::ProcessResult plain_run, fresh_run, defaults_run;

  MediumRuns() {
    const quality_testing::FieldRecord record =
        quality_testing::turbulent_field(3 * 600, 600, 10.0, 12);
    for (const TempFolder* folder : {&plain, &fresh_water, &defaults}) {
      quality_testing::write_field_run(*folder, record, 60);
    }
    plain_run = run_ecflux(plain.path(), {"--csv", "--uncertainty"});
    fresh_run = run_ecflux(fresh_water.path(),
                           {"--csv", "--uncertainty", "--density", "1000", "--heat-capacity=4186"});
    defaults_run = run_ecflux(
        defaults.path(), {"--density=1025", "--heat-capacity", "4008", "--csv", "--uncertainty"});
  }
};

TEST(Medium, DefaultsGivenExplicitlyChangeNoByte) {
  const MediumRuns runs;
  ASSERT_EQ(runs.plain_run.exit_status, 0) << runs.plain_run.standard_error;
  ASSERT_EQ(runs.defaults_run.exit_status, 0) << runs.defaults_run.standard_error;
  for (const std::string& name : compared_files) {
    EXPECT_EQ(file_of(runs.defaults, runs.defaults_run, name),
              file_of(runs.plain, runs.plain_run, name))
        << name;
  }
}

TEST(Medium, EveryHeatFluxScalesWithDensityTimesHeatCapacity) {
  const MediumRuns runs;
  ASSERT_EQ(runs.plain_run.exit_status, 0) << runs.plain_run.standard_error;
  ASSERT_EQ(runs.fresh_run.exit_status, 0) << runs.fresh_run.standard_error;
  const double ratio = (1000.0 * 4186.0) / (1025.0 * 4008.0);
  // Full precision: the two multiplications round each product a little
  // differently.
  const auto scaled = [ratio](double plain, double fresh) {
    return std::fabs(fresh - plain * ratio) <= 1e-14 * std::fabs(fresh);
  };

  for (const std::string file : {"blocks.csv", "window_fluxes.csv"}) {
    const CsvTable plain(runs.plain / file), fresh(runs.fresh_water / file);
    ASSERT_EQ(fresh.rows(), plain.rows());
    for (const std::string& name : plain.names()) {
      const bool watts = name.size() > 5 && name.substr(name.size() - 5) == "_W_m2";
      for (std::size_t row = 0; row < plain.rows(); ++row) {
        if (watts) {
          EXPECT_PRED2(scaled, plain.number(row, name), fresh.number(row, name)) << file << name;
        } else {
          EXPECT_EQ(fresh.text(row, name), plain.text(row, name)) << file << " " << name;
        }
      }
    }
  }

  // The fixed columns: the fluxes in hundredths, each rounded on its own.
  const auto fixed_columns = [&](const std::vector<std::string>& plain,
                                 const std::vector<std::string>& fresh, std::size_t first_flux,
                                 std::size_t end_flux) {
    ASSERT_EQ(fresh.size(), plain.size());
    for (std::size_t row = 0; row < plain.size(); ++row) {
      const std::vector<double> a = numbers_of(plain[row]), b = numbers_of(fresh[row]);
      ASSERT_EQ(a.size(), b.size());
      for (std::size_t k = 0; k < a.size(); ++k) {
        if (k >= first_flux && k < end_flux) {
          EXPECT_NEAR(b[k], a[k] * ratio, 0.005 + 0.005 * ratio + 1e-9) << plain[row];
        } else {
          EXPECT_EQ(b[k], a[k]) << plain[row];
        }
      }
    }
  };
  std::vector<std::string> plain_rows = lines_of(runs.plain.read("results.out"));
  std::vector<std::string> fresh_rows = lines_of(runs.fresh_water.read("results.out"));
  // FLUX-L to RUNMAX, after TIME and the nine velocity and temperature
  // columns.
  fixed_columns({plain_rows.begin() + 1, plain_rows.end()},
                {fresh_rows.begin() + 1, fresh_rows.end()}, 10, 16);
  // The progress line: the time, then three fluxes.
  fixed_columns(lines_of(runs.plain_run.standard_output), lines_of(runs.fresh_run.standard_output),
                1, 4);

  // The fluxes of covariances, in kelvin metres, keep their bytes.
  for (const std::string name : {"cumflux.out", "CFSHIFT.out", "Cospectra.out"}) {
    EXPECT_EQ(runs.fresh_water.read(name), runs.plain.read(name)) << name;
  }
}

}  // namespace
}  // namespace ecflux
