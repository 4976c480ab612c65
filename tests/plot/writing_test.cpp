// How ecflux-plot treats the run folder: it waits for no run but draws
// nothing while one writes, never writes over a file of the run, and
// replaces the earlier plots only when all four new files are written.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "report/output_files.h"
#include "tests/plot/plot_runs.h"
#include "tests/support/test_support.h"

namespace ecflux {
namespace {

using testing::folder_state;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::run_plot;
using testing::TempFolder;

// The files that ecflux-plot writes, from the table of output files.
std::vector<std::string> plot_names() {
  std::vector<std::string> names;
  for (const report::OutputFileInfo& file : report::output_files) {
    if (file.written_by == report::WrittenBy::plot) names.emplace_back(file.fixed_name);
  }
  return names;
}

// The folder's state without one entry (none when `name` is empty).
std::vector<testing::FolderEntry> state_without(const TempFolder& folder, const std::string& name) {
  auto entries = folder_state(folder.path());
  std::erase_if(entries, [&](const testing::FolderEntry& entry) { return entry.name == name; });
  return entries;
}

ProcessResult run_plot_with(const TempFolder& folder, const ProcessOptions& options) {
  return testing::run_program(ECFLUX_PLOT_PROGRAM, folder.path(), options);
}

std::string in_folder(const TempFolder& folder, const std::string& name) {
  return (std::filesystem::canonical(folder.path()) / name).string();
}

// The example run, with spectra so that every plot is drawn, finished with
// its plots drawn, then the plots replaced by text that only they hold, so
// that a replaced plot shows.
void finish_with_earlier_plots(const TempFolder& folder) {
  testing::finish_example_run_with(folder, {"--spectra"});
  for (const auto& name : plot_names()) folder.write(name, "earlier " + name);
}

// The lock of the run folder, held by the test as a run or a reader holds it.
class HeldLock {
 public:
  HeldLock(const TempFolder& folder, int operation)
      : descriptor_(::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    EXPECT_GE(descriptor_, 0);
    EXPECT_EQ(::flock(descriptor_, operation | LOCK_NB), 0);
  }
  ~HeldLock() { ::close(descriptor_); }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;

 private:
  int descriptor_;
};

TEST(PlotWriting, DrawsNothingWhileARunWritesInTheFolderAndDrawsBesideOtherReaders) {
  TempFolder folder;
  finish_with_earlier_plots(folder);
  const auto before = folder_state(folder.path());
  {
    const HeldLock run(folder, LOCK_EX);
    const ProcessResult refused = run_plot(folder);
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_EQ(refused.standard_error, "ecflux-plot: a run is writing in " +
                                          std::filesystem::canonical(folder.path()).string() +
                                          "; nothing was drawn\n");
    EXPECT_EQ(refused.standard_output, "");
    EXPECT_TRUE(folder_state(folder.path()) == before);
  }
  // Another reader (ecflux --check, a second ecflux-plot) holds it shared.
  const HeldLock reader(folder, LOCK_SH);
  const ProcessResult drawn = run_plot(folder);
  ASSERT_EQ(drawn.exit_status, 0) << drawn.standard_error;
  for (const auto& name : plot_names()) {
    EXPECT_NE(folder.read(name).rfind("earlier ", 0), 0u) << name;
    EXPECT_NE(drawn.standard_output.find(in_folder(folder, name) + "\n"), std::string::npos);
  }
  // Nothing is left aside once the plots are in place.
  for (const auto& name : folder.names()) {
    EXPECT_EQ(name.find(".ecflux-partial"), std::string::npos) << name;
  }
}

// The configuration changed after the run, so that a plot would replace the
// data file or the results file; or standard output sent into a plot.
TEST(PlotWriting, RefusesToWriteOverAFileOfTheRun) {
  struct Case {
    std::string data_file;
    std::string results_file;
    std::string standard_output;  // a file of the folder, or the capture
    std::string refusal;          // FOLDER stands for the folder's path
  };
  const std::vector<Case> cases = {
      {"report.html", "results.out", "",
       "the data file FOLDER/report.html and the report page FOLDER/report.html"},
      {"example.dat", "flux_by_block.svg", "",
       "the results file FOLDER/flux_by_block.svg and the plot of the block fluxes "
       "FOLDER/flux_by_block.svg"},
      {"example.dat", "results.out", "cumulative_flux.svg",
       "standard output and the plot of the cumulative fluxes FOLDER/cumulative_flux.svg"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    testing::ConfigurationText config = testing::example_configuration();
    testing::finish_example_run(folder, config);
    for (const auto& name : plot_names()) folder.write(name, "earlier " + name);
    std::filesystem::rename(folder / "example.dat", folder / c.data_file);
    std::filesystem::rename(folder / "results.out", folder / c.results_file);
    config.data_file = c.data_file;
    config.results_file = c.results_file;
    folder.write("ConfigDRAVEK.Dat", config.text());
    ProcessOptions options;
    if (!c.standard_output.empty()) options.standard_output_file = folder / c.standard_output;
    // The redirection empties the file it goes to, before the program starts.
    const auto before = state_without(folder, c.standard_output);

    const ProcessResult refused = run_plot_with(folder, options);
    EXPECT_EQ(refused.exit_status, 1) << c.refusal;
    std::string expected =
        "ecflux-plot: " + c.refusal + " are the same file; nothing was written\n";
    for (auto at = expected.find("FOLDER"); at != std::string::npos; at = expected.find("FOLDER"))
      expected.replace(at, 6, std::filesystem::canonical(folder.path()).string());
    EXPECT_EQ(refused.standard_error, expected);
    EXPECT_TRUE(state_without(folder, c.standard_output) == before) << c.refusal;
    if (!c.standard_output.empty()) {
      EXPECT_EQ(folder.read(c.standard_output), "");
    }
  }
}

// Each file in turn cannot be written (it leads to a full device): the
// files drawn before it are not put in place, nothing is left aside, and
// the folder is as it was.
TEST(PlotWriting, AFileThatCannotBeWrittenLeavesEveryEarlierPlotAsItWas) {
  for (const auto& failing : plot_names()) {
    TempFolder folder;
    finish_with_earlier_plots(folder);
    std::filesystem::remove(folder / failing);
    std::filesystem::create_symlink("/dev/full", folder / failing);
    const auto before = folder_state(folder.path());

    const ProcessResult failed = run_plot(folder);
    EXPECT_EQ(failed.exit_status, 1) << failing;
    EXPECT_EQ(failed.standard_error,
              "ecflux-plot: error during write, file " + in_folder(folder, failing) + "\n");
    EXPECT_EQ(failed.standard_output, "") << failing;
    EXPECT_TRUE(folder_state(folder.path()) == before) << failing;
  }
}

TEST(PlotWriting, StandardOutputThatTakesNoWriteEndsWithStatusOne) {
  TempFolder folder;
  testing::finish_example_run(folder);
  const std::string message = "ecflux-plot: error during write, unit 6, file /dev/stdout\n";
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"--help"}, {"--version"}}) {
    const std::string what = arguments.empty() ? "plots" : arguments[0];
    ProcessOptions full;
    full.arguments = arguments;
    full.standard_output_file = "/dev/full";
    const ProcessResult to_full = run_plot_with(folder, full);
    EXPECT_EQ(to_full.exit_status, 1) << what;
    EXPECT_EQ(to_full.standard_error, message) << what;

    ProcessOptions closed;
    closed.arguments = arguments;
    closed.close_standard_output = true;
    const ProcessResult to_closed = run_plot_with(folder, closed);
    EXPECT_EQ(to_closed.exit_status, 1) << what;
    EXPECT_EQ(to_closed.standard_error, message) << what;
  }
}

}  // namespace
}  // namespace ecflux
