// Each write, read, fsync and rename of a run failing in turn, as a full
// disk or a failing device may fail any one of them, made so by a library
// preloaded into the program (tests/faults/preload). For every N up to the
// number of such calls the run makes, the Nth fails: the run ends with status
// 1 and a message that names the file and its unit, and the folder holds the
// earlier run's results exactly as they were. Past the last call, the run
// completes.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/faults/fault_support.h"
#include "tests/support/test_support.h"

namespace ecflux::faults {
namespace {

using namespace std::chrono_literals;
using testing::earlier_results_unchanged;
using testing::folder_state;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::run_program;
using testing::severe;
using testing::TempFolder;

// The files of a run with --csv and the units their failures carry.
struct RunFile {
  std::string name;
  int unit;
};
const std::vector<RunFile> run_files = {
    {"results.out", 9},   {"Cospectra.out", 40},      {"cumflux.out", 43},
    {"CFSHIFT.out", 889}, {"blocks.csv", 50},         {"window_fluxes.csv", 51},
    {"run.json", 52},     {"ConfigDRAVEK.Dat", 2030}, {"example.dat", 8},
};

const std::string example_configuration = testing::read_file(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat");

// The bundled example with another running-mean window, whose results differ.
std::string example_configuration_with_window(const std::string& seconds) {
  std::string text = example_configuration;
  const std::string field = "Window (s):            ";
  const auto at = text.find(field);
  EXPECT_NE(at, std::string::npos);
  text.replace(at + field.size(), 2, seconds);
  return text;
}

// The bundled example in a folder that holds the results of an earlier run
// of it, with a running-mean window of 20 s instead of 30 s.
struct ExampleAfterAnEarlierRun {
  TempFolder folder;

  explicit ExampleAfterAnEarlierRun(const std::vector<std::string>& arguments = {}) {
    folder.write("ConfigDRAVEK.Dat", example_configuration_with_window("20"));
    std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", folder / "example.dat");
    ProcessOptions options;
    options.arguments = arguments;
    options.limit = 60s;
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
    EXPECT_EQ(run.exit_status, 0) << run.standard_error;
    folder.write("ConfigDRAVEK.Dat", example_configuration);
  }
};

// The file that a call reported by the preloaded library ("KIND PATH") was
// made on, as the run's messages name it: a staged file stands for the file
// it replaces, and anything else written is standard output.
RunFile file_of_call(const std::string& call, const TempFolder& folder) {
  const std::string path = call.substr(call.find(' ') + 1);
  const std::string folder_path = std::filesystem::canonical(folder.path()).string() + "/";
  for (const RunFile& file : run_files) {
    if (path == folder_path + "." + file.name + ".ecflux-partial" ||
        path == folder_path + file.name) {
      return {folder_path + file.name, file.unit};
    }
  }
  return {"/dev/stdout", 6};
}

std::string io_failure(int severity, const RunFile& file) {
  const std::string what = severity == 39 ? "error during read" : "error during write";
  return severe(severity, what + ", unit " + std::to_string(file.unit) + ", file " + file.name);
}

// Fails the Nth call of `kind` (and, where `name` is given, on a file whose
// name ends so) for N = 1, 2, ... until the run completes; the files whose
// calls failed, as the messages named them.
std::set<std::string> fail_each_call_in_turn(const std::string& kind, const std::string& name,
                                             int severity,
                                             const std::vector<std::string>& arguments) {
  const ExampleAfterAnEarlierRun earlier(arguments);
  const auto before = folder_state(earlier.folder.path());
  std::set<std::string> failed;
  for (int n = 1; n < 200; ++n) {
    TempFolder elsewhere;
    ProcessOptions options = with_chosen_call(
        "FAILING_CALL", kind + " " + std::to_string(n) + (name.empty() ? "" : " " + name),
        elsewhere / "call");
    options.arguments = arguments;
    const ProcessResult run = run_program(ECFLUX_PROGRAM, earlier.folder.path(), options);
    const std::string call = chosen_call(elsewhere / "call");
    const std::string what = kind + " " + std::to_string(n) + " (" + call + ")";
    expect_finished(run, what);
    if (call.empty()) {
      EXPECT_EQ(run.exit_status, 0) << what << ": " << run.standard_error;
      return failed;
    }
    const RunFile file = file_of_call(call, earlier.folder);
    failed.insert(std::filesystem::path(file.name).filename().string());
    EXPECT_EQ(run.exit_status, 1) << what;
    EXPECT_EQ(run.standard_error,
              io_failure(severity, file) + earlier_results_unchanged(earlier.folder.path()))
        << what;
    EXPECT_TRUE(folder_state(earlier.folder.path()) == before) << what << ": the folder changed";
  }
  ADD_FAILURE() << "the run did not complete";
  return failed;
}

using Names = std::set<std::string>;

TEST(FailingCalls, EachWriteOfARun) {
  const Names files = {"results.out", "Cospectra.out", "cumflux.out",
                       "CFSHIFT.out", "run.json",      "stdout"};
  EXPECT_EQ(fail_each_call_in_turn("write", "", 38, {}), files);
  Names with_csv = files;
  with_csv.insert({"blocks.csv", "window_fluxes.csv"});
  EXPECT_EQ(fail_each_call_in_turn("write", "", 38, {"--csv"}), with_csv);
}

TEST(FailingCalls, EachReadOfTheInputs) {
  EXPECT_EQ(fail_each_call_in_turn("read", "", 39, {}), (Names{"ConfigDRAVEK.Dat", "example.dat"}));
}

TEST(FailingCalls, EachFsyncOfADurableRun) {
  EXPECT_EQ(fail_each_call_in_turn("fsync", ".ecflux-partial", 38, {"--durable"}),
            (Names{"results.out", "Cospectra.out", "cumflux.out", "CFSHIFT.out", "run.json"}));
}

// The renames that put the files in place are the one step that cannot be
// undone: when one fails, the files renamed before it hold the new results
// and the others the earlier ones, and the message names the file that
// failed. No staged file is left either way.
TEST(FailingCalls, EachRenameThatPutsAFileInPlace) {
  TempFolder reference;
  reference.write("ConfigDRAVEK.Dat", example_configuration);
  std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", reference / "example.dat");
  ASSERT_EQ(run_program(ECFLUX_PROGRAM, reference.path(), 60s).exit_status, 0);

  std::vector<std::string> renamed;
  for (int n = 1;; ++n) {
    ASSERT_LT(n, 20);
    const ExampleAfterAnEarlierRun earlier;
    std::vector<std::string> earlier_content;
    for (const auto& name : testing::output_names)
      earlier_content.push_back(earlier.folder.read(name));
    const auto names_before = earlier.folder.names();
    TempFolder elsewhere;
    const ProcessResult run = run_program(
        ECFLUX_PROGRAM, earlier.folder.path(),
        with_chosen_call("FAILING_CALL", "rename " + std::to_string(n), elsewhere / "call"));
    const std::string call = chosen_call(elsewhere / "call");
    const std::string what = "rename " + std::to_string(n) + " (" + call + ")";
    expect_finished(run, what);
    EXPECT_EQ(earlier.folder.names(), names_before) << what;
    if (call.empty()) {
      EXPECT_EQ(run.exit_status, 0) << what;
      EXPECT_EQ(n, 6);
      break;
    }
    const RunFile failed = file_of_call(call, earlier.folder);
    EXPECT_EQ(run.exit_status, 1) << what;
    // The last line says which files hold new results, or that none do.
    std::string last_line = earlier_results_unchanged(earlier.folder.path());
    if (!renamed.empty()) {
      const std::string folder = std::filesystem::canonical(earlier.folder.path()).string();
      std::string names;
      for (const auto& name : renamed) names += (names.empty() ? "" : ", ") + folder + "/" + name;
      last_line = "ecflux: the results in " + folder + " are mixed: " + names +
                  (renamed.size() == 1 ? " is" : " are") +
                  " new, the other outputs are the earlier ones; run again\n";
    }
    EXPECT_EQ(run.standard_error, io_failure(38, failed) + last_line) << what;
    for (std::size_t i = 0; i < testing::output_names.size(); ++i) {
      const std::string& name = testing::output_names[i];
      const bool replaced = std::find(renamed.begin(), renamed.end(), name) != renamed.end();
      EXPECT_TRUE(earlier.folder.read(name) ==
                  (replaced ? reference.read(name) : earlier_content[i]))
          << what << ": " << name << (replaced ? " is not the new one" : " is not the earlier one");
    }
    renamed.push_back(std::filesystem::path(failed.name).filename().string());
  }
}

}  // namespace
}  // namespace ecflux::faults
