// run.json, the record of how a run's results were made: what it says of the
// options and outputs, its hash of the data file wherever reading stops, and
// that a run that does not complete leaves the earlier record as it was. (The
// stored outputs of tests/expected hold the example's record, key by key.)

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/program/run_files.h"

namespace ecflux {
namespace {

using testing::TempFolder;

void copy_example(const TempFolder& folder) {
  std::filesystem::copy(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat", folder / "ConfigDRAVEK.Dat");
  std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", folder / "example.dat");
}

TEST(RunRecord, OptionsAndOutputsAreThoseOfTheRun) {
  TempFolder folder;
  testing::ConfigurationText config;
  config.results_file = "mooring-7.out";
  testing::write_run(folder, config, "header\n" + testing::ten_hertz_records(700));
  const std::string canonical = std::filesystem::canonical(folder.path()).string();
  TempFolder elsewhere;
  const auto run = testing::run_ecflux(elsewhere, {"--durable", canonical});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;

  const auto record = testing::read_run_record(folder);
  EXPECT_EQ(record["command_line"], nlohmann::json({ECFLUX_PROGRAM, "--durable", canonical}));
  EXPECT_EQ(record["run_folder"], canonical);
  EXPECT_EQ(record["options"],
            nlohmann::json({{"csv", false}, {"durable", true}, {"strict", false}}));
  std::vector<std::string> outputs;
  for (const auto& output : record["outputs"]) outputs.push_back(output["path"]);
  EXPECT_EQ(outputs,
            (std::vector<std::string>{canonical + "/mooring-7.out", canonical + "/Cospectra.out",
                                      canonical + "/cumflux.out", canonical + "/CFSHIFT.out",
                                      canonical + "/run.json"}));
  EXPECT_EQ(record["blocks"]["complete"], 1);
  EXPECT_EQ(record["blocks"]["samples_dropped"], 100);
  EXPECT_EQ(record["warnings"], nlohmann::json::array());
}

TEST(RunRecord, TheHashIsOfTheWholeDataFileWhereverReadingStops) {
  // The example's hash, which the stored record holds and its comparison
  // checks against a hash computed apart from the program.
  const std::string whole = nlohmann::json::parse(
      testing::read_file(EXPECTED_FOLDER "/example/output/run.json"))["data"]["xxh3_64"];
  TempFolder folder;
  copy_example(folder);
  std::string config = folder.read("ConfigDRAVEK.Dat");
  const std::string end_time = "End time:              0.0";
  config.replace(config.find(end_time), end_time.size(), "End time:              0.03");
  folder.write("ConfigDRAVEK.Dat", config);
  const auto run = testing::run_ecflux(folder);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;

  const auto data = testing::read_run_record(folder)["data"];
  EXPECT_EQ(data["input_end"], "past_end_time");
  EXPECT_EQ(data["records_read"], 1082);
  EXPECT_EQ(data["last_time"], 0.03);
  EXPECT_EQ(data["xxh3_64"], whole);
  EXPECT_EQ(data["bytes_hashed"], std::filesystem::file_size(folder / "example.dat"));
  EXPECT_EQ(data["hash_of_whole_file"], true);
}

// run.json as it stands in the folder: its content and modification time.
testing::FolderEntry record_in(const TempFolder& folder) {
  for (const testing::FolderEntry& entry : testing::folder_state(folder.path())) {
    if (entry.name == "run.json") return entry;
  }
  return {};
}

TEST(RunRecord, ARunThatDoesNotCompleteLeavesTheEarlierRecord) {
  TempFolder folder;
  copy_example(folder);
  ASSERT_EQ(testing::run_ecflux(folder, {"--csv"}).exit_status, 0);
  const testing::FolderEntry earlier = record_in(folder);
  ASSERT_FALSE(earlier.content.empty());

  // A file that fails part way: the record was being written aside.
  std::filesystem::remove(folder / "cumflux.out");
  std::filesystem::create_symlink("/dev/full", folder / "cumflux.out");
  EXPECT_EQ(testing::run_ecflux(folder, {"--csv"}).exit_status, 1);
  EXPECT_EQ(record_in(folder), earlier);

  // Data that give no complete block.
  std::filesystem::remove(folder / "cumflux.out");
  const std::string data = folder.read("example.dat");
  folder.write("example.dat", data.substr(0, data.size() / 4));
  EXPECT_EQ(testing::run_ecflux(folder, {"--csv"}).exit_status, 1);
  EXPECT_EQ(record_in(folder), earlier);
}

}  // namespace
}  // namespace ecflux
