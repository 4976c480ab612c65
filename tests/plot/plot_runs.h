#pragma once

// Finished runs for the tests of ecflux-plot, made by the built programs in
// fresh folders, and a headless browser to look at what it draws.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "plot/run_record_reading.h"
#include "tests/support/test_support.h"

namespace ecflux::testing {

// The example run, finished, in `folder`; `end_time` replaces the configured
// end of the input (line 35 from column 24); `csv` runs ecflux --csv.
void finish_example_run(const TempFolder& folder, const char* end_time = nullptr, bool csv = false);

// The example run finished by ecflux with `arguments` (such as --spectra).
void finish_example_run_with(const TempFolder& folder, const std::vector<std::string>& arguments);

// A record of tests/expected (its input folder: "gaps", "currents"), finished
// in `folder` with `arguments`.
void finish_expected_run(const TempFolder& folder, const std::string& record,
                         const std::vector<std::string>& arguments);

// The run's run.json as ecflux-plot reads it.
plot::RunRecordFacts run_record(const TempFolder& folder);

// A time of the data file as a time axis of a plot of a record of up to two
// hours shows it: in minutes since the run's first sample.
std::function<double(double)> minutes_since_first_sample(const TempFolder& folder);

// The configuration of the example run written out field by field, so that a
// test can change a name: the example's data file, blocks of 60 s and a
// running-mean window of 30 s.
ConfigurationText example_configuration();

// The example's data finished with `config` in `folder`.
void finish_example_run(const TempFolder& folder, const ConfigurationText& config);

// A synthetic record of `seconds` at `rate` Hz whose times are seconds of
// the day from 80000 on, too wide for the TIME of cumflux.out (from 1000)
// and of Cospectra.out (from 10000), finished with ecflux (--csv with `csv`).
void finish_seconds_of_day_run(const TempFolder& folder, int rate, int seconds, int block,
                               bool csv);

ProcessResult run_plot(const TempFolder& folder);

// The numbers of the fixed-column records of a file, split at blanks.
std::vector<std::vector<std::string>> columns(const std::string& text);

// Headless Chromium, where it is installed.
extern const std::filesystem::path chromium;
bool have_chromium();
// Runs it on `page` with `arguments` (such as --dump-dom) and a profile of
// its own in `folder`, standard output into `output` when not empty, killed
// after two minutes; true when it ended well.
bool run_chromium(const TempFolder& folder, const std::filesystem::path& page,
                  const std::string& arguments, const std::filesystem::path& output = {});

// The width and height in a PNG file's header; 0 and 0 when it is none.
struct ImageSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};
ImageSize png_size(const std::string& image);

}  // namespace ecflux::testing
