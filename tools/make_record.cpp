// Writes a synthetic data file that looks like a field record: a header line,
// then one record per sample with the time in seconds, the x-, y- and two
// z-velocities in cm/s and two temperatures in degrees Celsius. The vertical
// velocity carries turbulent eddies, and the temperature follows them a few
// samples later, so the record has a heat flux and a lag for the search to
// find. The same arguments always give the same file.
//
//   make_record OUTPUT [--rate HZ] [--seconds S] [--start T] [--seed N] [--lag SAMPLES]
//               [--config PATH [--block S] [--window S]]
//
// With --config it also writes a run configuration for the record to PATH
// (normally "ConfigDRAVEK.Dat" in OUTPUT's folder): the data file named by
// OUTPUT's file name, results to "results.out", the record's sample rate,
// blocks of --block seconds (default 3600) and a running mean of --window
// seconds (default 300).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/noise.h"

namespace {

using ecflux::tools::Noise;

struct Options {
  std::string output;
  double rate = 10.0;
  double seconds = 210.0;
  double start = 0.0;
  std::uint64_t seed = 1;
  int lag = 3;
  std::string config;
  long block_seconds = 3600;
  long window_seconds = 300;
};

bool parse_options(int argc, char** argv, Options& options) {
  // The output comes first; a name that looks like an option (--help) is a
  // request for the usage, not a file to write.
  if (argc < 2 || argv[1][0] == '-') return false;
  options.output = argv[1];
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--rate")
      options.rate = std::atof(value);
    else if (name == "--seconds")
      options.seconds = std::atof(value);
    else if (name == "--start")
      options.start = std::atof(value);
    else if (name == "--seed")
      options.seed = std::strtoull(value, nullptr, 10);
    else if (name == "--lag")
      options.lag = std::atoi(value);
    else if (name == "--config")
      options.config = value;
    else if (name == "--block")
      options.block_seconds = std::atol(value);
    else if (name == "--window")
      options.window_seconds = std::atol(value);
    else
      return false;
  }
  return (argc % 2) == 0 && options.rate > 0.0 && options.seconds > 0.0 && options.lag >= 0 &&
         options.block_seconds > 0 && options.window_seconds > 0;
}

// The configuration is 39 lines; the run reads line 29 and lines 32 to 39,
// each value from column 24 on behind a 23-column label. Text fields are 20
// columns wide, the rate 8, the block length 8 and the window 4, so values
// that would not fit are refused rather than cut.
bool write_configuration(const Options& options) {
  const std::size_t slash = options.output.find_last_of('/');
  const std::string data_name =
      slash == std::string::npos ? options.output : options.output.substr(slash + 1);
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.6g", options.rate);
  if (std::strchr(rate, '.') == nullptr && std::strchr(rate, 'e') == nullptr) {
    std::strncat(rate, ".0", sizeof rate - std::strlen(rate) - 1);
  }
  if (data_name.empty() || data_name.size() > 20 || std::strlen(rate) > 8 ||
      options.block_seconds > 99999999 || options.window_seconds > 9999) {
    std::fprintf(stderr,
                 "make_record: the configuration cannot hold data file name \"%s\" (at most 20 "
                 "characters), rate %s (8), block %ld s (8 digits) or window %ld s (4 digits)\n",
                 data_name.c_str(), rate, options.block_seconds, options.window_seconds);
    return false;
  }
  std::FILE* out = std::fopen(options.config.c_str(), "wb");
  if (out == nullptr) {
    std::perror(options.config.c_str());
    return false;
  }
  std::fprintf(out, "ecflux run configuration written by make_record\r\n");
  for (int line = 2; line <= 28; ++line) std::fprintf(out, "\r\n");
  std::fprintf(out, "%-23s%s\r\n\r\n\r\n", "Data file name:", data_name.c_str());
  std::fprintf(out, "%-23s%s\r\n", "Results file name:", "results.out");
  std::fprintf(out, "%-23s%s\r\n", "Sample rate (Hz):", rate);
  std::fprintf(out, "%-23s%s\r\n", "Start time:", "0.0");
  std::fprintf(out, "%-23s%s\r\n", "End time:", "0.0");
  std::fprintf(out, "%-23s%ld\r\n", "Block length (s):", options.block_seconds);
  std::fprintf(out, "%-23s%s\r\n", "Temperature column:", "0");
  std::fprintf(out, "%-23s%s\r\n", "W column:", "0");
  std::fprintf(out, "%-23s%ld\r\n", "Window (s):", options.window_seconds);
  if (std::fclose(out) != 0) {
    std::perror(options.config.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: make_record OUTPUT [--rate HZ] [--seconds S] [--start T] [--seed N] "
                 "[--lag SAMPLES] [--config PATH [--block S] [--window S]]\n");
    return 2;
  }
  if (!options.config.empty() && !write_configuration(options)) return 1;
  std::FILE* out = std::fopen(options.output.c_str(), "wb");
  if (out == nullptr) {
    std::perror(options.output.c_str());
    return 1;
  }
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);

  Noise noise(options.seed);
  const auto samples = static_cast<std::int64_t>(std::llround(options.rate * options.seconds));
  std::fprintf(out, "time(s) u(cm/s) v(cm/s) w1(cm/s) w2(cm/s) T1(C) T2(C)\r\n");

  // Slowly varying mean current and temperature, with eddies of a few seconds
  // in w (a first-order autoregressive process) that the temperature follows.
  const double eddy_memory = std::exp(-1.0 / (2.0 * options.rate));
  std::vector<double> recent_w(static_cast<std::size_t>(options.lag) + 1, 0.0);
  double eddy = 0.0;
  for (std::int64_t i = 0; i < samples; ++i) {
    const double t = options.start + static_cast<double>(i) / options.rate;
    const double hours = t / 3600.0;
    eddy = eddy_memory * eddy + std::sqrt(1.0 - eddy_memory * eddy_memory) * 1.2 * noise.normal();
    const double w = 0.05 + eddy + 0.3 * noise.normal();
    recent_w.insert(recent_w.begin(), w);
    recent_w.pop_back();
    const double lagged_w = recent_w.back();

    const double u = 12.0 + 3.0 * std::sin(2.0 * 3.14159 * hours / 12.4) + 1.5 * noise.normal();
    const double v = -5.0 + 2.0 * std::cos(2.0 * 3.14159 * hours / 12.4) + 1.5 * noise.normal();
    const double w2 = w + 0.05 * noise.normal();
    const double temperature = 4.2 + 0.3 * std::sin(2.0 * 3.14159 * hours / 24.0) -
                               0.004 * lagged_w + 0.002 * noise.normal();
    const double temperature2 = temperature + 0.01 + 0.001 * noise.normal();
    std::fprintf(out, "%.4f %.3f %.3f %.3f %.3f %.5f %.5f\r\n", t, u, v, w, w2, temperature,
                 temperature2);
  }
  if (std::fclose(out) != 0) {
    std::perror(options.output.c_str());
    return 1;
  }
  return 0;
}
