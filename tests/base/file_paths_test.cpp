#include "base/file_paths.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace ecflux::base {
namespace {

using ecflux::testing::TempFolder;

// Runs the checks from inside the folder, as the run does, and goes back.
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& folder)
      : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(before_); }

 private:
  std::filesystem::path before_;
};

TEST(FilePaths, ResolvedPathsOfFilesThatDoNotExistYet) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "sub");
  std::filesystem::create_symlink("Cospectra.out", folder / "dangling");
  std::filesystem::create_symlink("../cumflux.out", folder / "sub" / "up");
  std::filesystem::create_symlink(folder / "sub", folder / "to-sub");
  std::filesystem::create_symlink("loop-b", folder / "loop-a");
  std::filesystem::create_symlink("loop-a", folder / "loop-b");
  const InFolder inside(folder.path());
  const std::string root = std::filesystem::canonical(folder.path()).string();

  EXPECT_EQ(resolved_path("cumflux.out"), root + "/cumflux.out");
  EXPECT_EQ(resolved_path("./cumflux.out"), root + "/cumflux.out");
  EXPECT_EQ(resolved_path(".//cumflux.out"), root + "/cumflux.out");
  EXPECT_EQ(resolved_path("sub/../cumflux.out"), root + "/cumflux.out");
  EXPECT_EQ(resolved_path("no/such/../../cumflux.out"), root + "/cumflux.out");
  EXPECT_EQ(resolved_path("dangling"), root + "/Cospectra.out");
  EXPECT_EQ(resolved_path("sub/up"), root + "/cumflux.out");
  EXPECT_EQ(resolved_path("to-sub/up"), root + "/cumflux.out");
  EXPECT_EQ(resolved_path("to-sub/../x"), root + "/x");
  EXPECT_EQ(resolved_path(root + "/sub/./new.out"), root + "/sub/new.out");
  EXPECT_EQ(resolved_path("/.."), "/");
  // A loop of links ends; where is of no matter, as long as it is the same.
  EXPECT_EQ(resolved_path("loop-a"), resolved_path("loop-a"));
}

TEST(FilePaths, SameFile) {
  TempFolder folder;
  folder.write("data.txt", "x\n");
  std::filesystem::create_hard_link(folder / "data.txt", folder / "hard");
  std::filesystem::create_symlink("results.out", folder / "r.out");
  const InFolder inside(folder.path());
  EXPECT_TRUE(same_file("data.txt", "hard"));
  EXPECT_TRUE(same_file("data.txt", folder.path().string() + "/data.txt"));
  EXPECT_TRUE(same_file("r.out", "./results.out"));
  EXPECT_FALSE(same_file("results.out", "cumflux.out"));
  EXPECT_FALSE(same_file("data.txt", "results.out"));
}

TEST(FilePaths, StagedNamesStandBesideTheirTargets) {
  EXPECT_EQ(staged_path("/data/run/results.out"), "/data/run/.results.out.ecflux-partial");
  EXPECT_EQ(staged_path("results.out"), ".results.out.ecflux-partial");
  EXPECT_EQ(staged_path("/data/report.html", "4711"), "/data/.report.html.ecflux-partial.4711");
  EXPECT_TRUE(is_staged_name(".results.out.ecflux-partial"));
  EXPECT_TRUE(is_staged_name(".report.html.ecflux-partial.4711"));
  EXPECT_FALSE(is_staged_name("results.out.ecflux-partial"));
  EXPECT_FALSE(is_staged_name(".ecflux-partial"));
  EXPECT_FALSE(is_staged_name(".results.out.ecflux-partialx"));
  EXPECT_FALSE(is_staged_name(".results.out"));
}

}  // namespace
}  // namespace ecflux::base
