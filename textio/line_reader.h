#pragma once

// Forward reading of a text file as records (lines), in large blocks.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/descriptor.h"
#include "base/result.h"

namespace ecflux::textio {

class LineReader {
 public:
  // Opens an existing file for reading. `unit` is the number that failures of
  // this file carry. A missing file is file_not_found, a refused permission
  // permission_denied, a folder or any other failure open_failure. An open
  // that waits (a FIFO without a writer) ends with an Interruption when a
  // stop signal arrives.
  static base::Result<LineReader> open(std::string_view name, int unit);

  // A reader over text held in memory (tests and fuzzing); it cannot fail.
  static LineReader from_text(std::string_view text, int unit, std::string path);

  LineReader(LineReader&& other) noexcept;
  LineReader& operator=(LineReader&& other) noexcept;
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  ~LineReader();

  // Makes the next record current and gives its text, without the line feed
  // and without a carriage return just before it: true when there is one,
  // false at the end of the file, read_error when the file cannot be read,
  // a ResourceFailure naming the file and the line when a line does not end
  // within the memory that the machine can give, and an Interruption when a
  // stop signal arrives while a read waits (a pipe or a terminal): a line
  // that is not complete then is never a record.
  // The last line of a file is a record even without a line feed; an empty
  // file has no record. The text stays valid until the next call.
  [[nodiscard]] base::Result<bool> next(std::string_view& record);

  // From now on every byte read goes into a fast hash (64-bit XXH3) of the
  // file, taken while reading, at no second pass over what is read. Called
  // before the first record is read, it covers the file from its start.
  void hash_bytes();
  // The hash of the whole file once it is read to its end: a regular file
  // that the program stopped reading early is read on to its end for it. A
  // pipe's hash covers what was read. Nothing without hash_bytes().
  struct FileHash {
    std::string xxh3_64;  // 16 hexadecimal digits
    std::uint64_t bytes = 0;
    bool whole_file = false;  // false: a pipe, read only in part
  };
  std::optional<FileHash> finish_hash();

  // The size and modification time of the open file, where it is a regular
  // file.
  struct FileFacts {
    std::uint64_t size = 0;
    std::int64_t modified_seconds = 0;  // since 1970, UTC
    std::int64_t modified_nanoseconds = 0;
  };
  std::optional<FileFacts> file_facts() const;

  // Line number of the current record, counted from 1; 0 before the first.
  std::int64_t line_number() const { return line_number_; }

  // A failure of this file: its unit and absolute path with `condition`.
  base::IoFailure failure(base::IoCondition condition) const;

 private:
  LineReader(base::Descriptor fd, int unit, std::string path);
  bool refill();
  bool grow_buffer();

  base::Descriptor fd_;
  int unit_ = 0;
  std::string path_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read into the buffer
  bool at_eof_ = false;
  // A read error, a line longer than the memory can hold, or a stop signal;
  // every later call gives it again.
  std::optional<base::Failure> failed_;
  std::int64_t line_number_ = 0;
  // The hash of the bytes read so far, with hash_bytes().
  struct Hasher;
  std::unique_ptr<Hasher> hasher_;
};

}  // namespace ecflux::textio
