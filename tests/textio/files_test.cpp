#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/file_paths.h"
#include "tests/support/test_support.h"
#include "textio/line_reader.h"
#include "textio/list_reader.h"
#include "textio/output_file.h"

namespace ecflux::textio {
namespace {

using testing::TempFolder;

std::vector<std::string> all_records(LineReader& reader) {
  std::vector<std::string> records;
  std::string_view record;
  for (;;) {
    const base::Result<bool> line = reader.next(record);
    EXPECT_TRUE(line.ok());
    if (!line.ok() || !line.value()) break;
    records.emplace_back(record);
  }
  return records;
}

TEST(FailureText, MessagesAndPaths) {
  EXPECT_EQ(
      base::fatal_message(base::IoFailure{base::IoCondition::file_not_found, 8, "/data/run1.txt"}),
      "forrtl: severe (29): file not found, unit 8, file /data/run1.txt");
  EXPECT_EQ(
      base::fatal_message(base::IoFailure{base::IoCondition::conversion_error, 2030, "/w/c.Dat"}),
      "forrtl: severe (64): input conversion error, unit 2030, file /w/c.Dat");
  EXPECT_EQ(base::fatal_message(base::IoFailure{base::IoCondition::end_of_file, 1, "/x"}),
            "forrtl: severe (24): end-of-file during read, unit 1, file /x");
  EXPECT_EQ(base::fatal_message(base::IoFailure{base::IoCondition::write_error, 6, "/dev/stdout"}),
            "forrtl: severe (38): error during write, unit 6, file /dev/stdout");
  EXPECT_EQ(base::severity_number(base::IoCondition::permission_denied), 9);
  EXPECT_EQ(base::severity_number(base::IoCondition::open_failure), 30);
  EXPECT_EQ(base::severity_number(base::IoCondition::read_error), 39);
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(base::absolute_path("run.txt"), cwd + "/run.txt");
  EXPECT_EQ(base::absolute_path("../a/./b.txt"), cwd + "/../a/./b.txt");
  EXPECT_EQ(base::absolute_path("/abs/x.txt"), "/abs/x.txt");
}

TEST(LineReaderTest, LineEndsInMemory) {
  auto reader = LineReader::from_text("a\r\nb\rc\n\n\r\nlast\r", 3, "/m");
  EXPECT_EQ(all_records(reader), (std::vector<std::string>{"a", "b\rc", "", "", "last\r"}));
  EXPECT_EQ(reader.line_number(), 5);
  auto empty = LineReader::from_text("", 3, "/m");
  EXPECT_TRUE(all_records(empty).empty());
  EXPECT_EQ(empty.line_number(), 0);
}

TEST(LineReaderTest, RecordsAcrossReadBoundariesAndOneHugeLine) {
  TempFolder folder;
  std::mt19937 random(5);
  std::vector<std::string> expected;
  std::string text;
  while (text.size() < 3'500'000) {
    std::string record(random() % 300, 'x');
    for (char& c : record) c = static_cast<char>('a' + random() % 26);
    expected.push_back(record);
    text += record;
    text += (random() % 2) ? "\r\n" : "\n";
  }
  const std::string huge(10'000'000, '7');
  expected.push_back(huge);
  text += huge + "\n";
  expected.push_back("tail without line feed");
  text += expected.back();
  folder.write("big.txt", text);

  auto opened = LineReader::open((folder / "big.txt").string(), 8);
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(all_records(opened.value()), expected);
}

TEST(LineReaderTest, OpenFailures) {
  TempFolder folder;
  auto missing = LineReader::open((folder / "none.txt").string(), 8);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.failure(), (base::IoFailure{base::IoCondition::file_not_found, 8,
                                                (folder / "none.txt").string()}));
  auto missing_folder = LineReader::open((folder / "no/such.txt").string(), 8);
  ASSERT_FALSE(missing_folder.ok());
  EXPECT_EQ(missing_folder.failure().io_failure()->condition, base::IoCondition::file_not_found);
  auto directory = LineReader::open(folder.path().string(), 8);
  ASSERT_FALSE(directory.ok());
  EXPECT_EQ(directory.failure().io_failure()->condition, base::IoCondition::open_failure);
  auto relative = LineReader::open("no-such-file-here.txt", 2030);
  ASSERT_FALSE(relative.ok());
  EXPECT_EQ(relative.failure().io_failure()->path, base::absolute_path("no-such-file-here.txt"));
  if (::geteuid() != 0) {
    folder.write("secret.txt", "x\n");
    std::filesystem::permissions(folder / "secret.txt", std::filesystem::perms::none);
    auto denied = LineReader::open((folder / "secret.txt").string(), 8);
    ASSERT_FALSE(denied.ok());
    EXPECT_EQ(denied.failure().io_failure()->condition, base::IoCondition::permission_denied);
  }
}

TEST(ListReaderOnFile, TypicalRecordsAcrossReadBoundaries) {
  TempFolder folder;
  std::string text = "header\n";
  const int count = 40000;  // about 2.4 MB: several reads
  for (int i = 0; i < count; ++i) {
    text += std::to_string(3600 + i) + ".0625 12.345 -3.210 0.456 0.460 4.12345 " +
            std::to_string(i) + "\n";
  }
  folder.write("data.txt", text);
  auto opened = LineReader::open((folder / "data.txt").string(), 8);
  ASSERT_TRUE(opened.ok());
  ListReader reader(std::move(opened.value()));
  ASSERT_EQ(reader.read({}).value(), ListReader::Outcome::complete);
  double values[7];
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(reader.read(values).value(), ListReader::Outcome::complete);
    ASSERT_EQ(values[0], 3600 + i + 0.0625);
    ASSERT_EQ(values[6], i);
  }
  EXPECT_EQ(reader.read(values).value(), ListReader::Outcome::end_of_file);
}

TEST(OutputFileTest, RecordsEndInCarriageReturnLineFeed) {
  TempFolder folder;
  auto created = OutputFile::create((folder / "out.txt").string(), 11);
  ASSERT_TRUE(created.ok());
  OutputFile& out = created.value();
  out.write_record("first");
  out.write_record("");
  char* p = out.begin_record(3);
  p[0] = 'a';
  p[1] = 'b';
  out.end_record(p + 2);
  out.write_text("raw\r\n");
  const std::string long_record(3'000'000, 'L');  // longer than the buffer
  out.write_record(long_record);
  out.write_text(std::string(2'000'000, 'T'));
  out.write_record("end");
  out.close();
  EXPECT_TRUE(out.status().ok());
  EXPECT_EQ(folder.read("out.txt"), "first\r\n\r\nab\r\nraw\r\n" + long_record + "\r\n" +
                                        std::string(2'000'000, 'T') + "end\r\n");
}

TEST(OutputFileTest, ReplacesAnExistingFile) {
  TempFolder folder;
  folder.write("old.txt", "a much longer previous content\n");
  {
    auto created = OutputFile::create((folder / "old.txt").string(), 12);
    ASSERT_TRUE(created.ok());
    created.value().write_record("new");
  }  // the destructor writes and closes
  EXPECT_EQ(folder.read("old.txt"), "new\r\n");
}

// A staged file changes nothing until it is put in place; abandoned, or
// dropped unfinished, it leaves the earlier file as it was and no trace.
TEST(OutputFileTest, StagedFilesReplaceOnlyWhenPutInPlace) {
  TempFolder folder;
  folder.write("old.txt", "earlier content\n");
  std::filesystem::permissions(folder / "old.txt", std::filesystem::perms(0640));
  const auto names = [&] { return folder.names(); };
  for (const int ending : {0, 1, 2}) {  // put in place, abandoned, dropped
    {
      auto old_file = OutputFile::open_staged((folder / "old.txt").string(), 9);
      auto new_file = OutputFile::open_staged((folder / "new.txt").string(), 40);
      ASSERT_TRUE(old_file.ok() && new_file.ok());
      old_file.value().write_record("x");
      new_file.value().write_record("y");
      ASSERT_TRUE(old_file.value().finish(false).ok());
      EXPECT_EQ(folder.read("old.txt"), "earlier content\n");
      EXPECT_FALSE(folder.exists("new.txt"));
      EXPECT_EQ(folder.read(".old.txt.ecflux-partial"), "x\r\n");
      if (ending == 0) {
        ASSERT_TRUE(old_file.value().put_in_place().ok());
        ASSERT_TRUE(new_file.value().finish(false).ok());
        ASSERT_TRUE(new_file.value().put_in_place().ok());
      } else if (ending == 1) {
        old_file.value().abandon();
        new_file.value().abandon();
      }
    }
    if (ending == 0) {
      EXPECT_EQ(folder.read("old.txt"), "x\r\n");
      EXPECT_EQ(folder.read("new.txt"), "y\r\n");
      EXPECT_EQ(std::filesystem::status(folder / "old.txt").permissions(),
                std::filesystem::perms(0640));
      folder.write("old.txt", "earlier content\n");
      std::filesystem::remove(folder / "new.txt");
    } else {
      EXPECT_EQ(folder.read("old.txt"), "earlier content\n");
      EXPECT_EQ(names(), std::vector<std::string>{"old.txt"}) << ending;
    }
  }
}

// A link stays a link: the staged file stands beside the link's target and
// replaces it. A device cannot be replaced by a rename and is written
// directly; a file that may not be written is refused as before.
TEST(OutputFileTest, StagedThroughLinksAndDevices) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "elsewhere");
  folder.write("elsewhere/target.txt", "before\n");
  std::filesystem::create_symlink("elsewhere/target.txt", folder / "link.txt");
  auto linked = OutputFile::open_staged((folder / "link.txt").string(), 9);
  ASSERT_TRUE(linked.ok());
  EXPECT_EQ(linked.value().staged_path(),
            base::resolved_path((folder / "elsewhere/.target.txt.ecflux-partial").string()));
  linked.value().write_record("after");
  ASSERT_TRUE(linked.value().finish(false).ok());
  ASSERT_TRUE(linked.value().put_in_place().ok());
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.txt"));
  EXPECT_EQ(folder.read("elsewhere/target.txt"), "after\r\n");

  auto device = OutputFile::open_staged("/dev/null", 6);
  ASSERT_TRUE(device.ok());
  EXPECT_TRUE(device.value().staged_path().empty());

  if (::geteuid() != 0) {
    folder.write("read-only.txt", "kept\n");
    std::filesystem::permissions(folder / "read-only.txt", std::filesystem::perms::owner_read);
    auto refused = OutputFile::open_staged((folder / "read-only.txt").string(), 9);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.failure().io_failure()->condition, base::IoCondition::permission_denied);
  }
}

TEST(OutputFileTest, WriteFailureIsKeptWithItsUnit) {
  TempFolder folder;
  // The device is reached through a link, which is followed, not replaced.
  std::filesystem::create_symlink("/dev/full", folder / "full");
  auto created = OutputFile::create((folder / "full").string(), 40);
  ASSERT_TRUE(created.ok());
  OutputFile& out = created.value();
  out.write_record("row");
  EXPECT_TRUE(out.status().ok());  // still buffered
  out.flush();
  ASSERT_FALSE(out.status().ok());
  const base::IoFailure expected{base::IoCondition::write_error, 40, (folder / "full").string()};
  EXPECT_EQ(out.status().failure(), expected);
  // Later output is dropped, and room for a record is still given.
  for (int i = 0; i < 1000; ++i) {
    char* p = out.begin_record(5000);
    std::fill(p, p + 5000, 'x');
    out.end_record(p + 5000);
  }
  out.write_text(std::string(3'000'000, 'y'));
  out.close();
  EXPECT_EQ(out.status().failure(), expected);
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "full"));

  auto by_size = OutputFile::create((folder / "full").string(), 41);
  ASSERT_TRUE(by_size.ok());
  by_size.value().write_record(std::string(3'000'000, 'z'));  // fails without an explicit flush
  by_size.value().close();
  ASSERT_FALSE(by_size.value().status().ok());
  EXPECT_EQ(by_size.value().status().failure().io_failure()->unit, 41);
}

// Written directly or aside, a file that cannot be opened fails alike.
TEST(OutputFileTest, OpenFailures) {
  TempFolder folder;
  folder.write("plain", "x\n");
  std::filesystem::create_directory(folder / "locked");
  std::filesystem::permissions(
      folder / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  for (const bool staged : {false, true}) {
    const auto open = [&](const std::string& name) {
      return staged ? OutputFile::open_staged(name, 9) : OutputFile::create(name, 9);
    };
    auto no_folder = open((folder / "no/such/out.txt").string());
    ASSERT_FALSE(no_folder.ok());
    EXPECT_EQ(no_folder.failure(), (base::IoFailure{base::IoCondition::open_failure, 9,
                                                    (folder / "no/such/out.txt").string()}));
    auto directory = open(folder.path().string());
    ASSERT_FALSE(directory.ok());
    EXPECT_EQ(directory.failure().io_failure()->condition, base::IoCondition::open_failure);
    auto through_file = open((folder / "plain/out.txt").string());
    ASSERT_FALSE(through_file.ok());
    EXPECT_EQ(through_file.failure().io_failure()->condition, base::IoCondition::open_failure);
    if (::geteuid() != 0) {
      auto denied = open((folder / "locked/out.txt").string());
      ASSERT_FALSE(denied.ok());
      EXPECT_EQ(denied.failure().io_failure()->condition, base::IoCondition::permission_denied);
    }
  }
  const OutputFile screen = OutputFile::standard_output();
  EXPECT_EQ(screen.unit(), 6);
  EXPECT_EQ(screen.path(), "/dev/stdout");
}

}  // namespace
}  // namespace ecflux::textio
