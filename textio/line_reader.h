#pragma once

// Forward reading of a text file as records (lines), in large blocks.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textio/result.h"

namespace ecflux::textio {

class LineReader {
 public:
  // Opens an existing file for reading. `unit` is the number that failures of
  // this file carry. A missing file is file_not_found, a refused permission
  // permission_denied, a folder or any other failure open_failure. An open
  // that waits (a FIFO without a writer) ends with an Interruption when a
  // stop signal arrives.
  static Result<LineReader> open(std::string_view name, int unit);

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
  [[nodiscard]] Result<bool> next(std::string_view& record);

  // Line number of the current record, counted from 1; 0 before the first.
  std::int64_t line_number() const { return line_number_; }

  // A failure of this file: its unit and absolute path with `condition`.
  IoFailure failure(IoCondition condition) const;

 private:
  LineReader(int fd, int unit, std::string path);
  bool refill();
  bool grow_buffer();

  int fd_ = -1;
  int unit_ = 0;
  std::string path_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read into the buffer
  bool at_eof_ = false;
  // A read error, a line longer than the memory can hold, or a stop signal;
  // every later call gives it again.
  std::optional<Failure> failed_;
  std::int64_t line_number_ = 0;
};

}  // namespace ecflux::textio
