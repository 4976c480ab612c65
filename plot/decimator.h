#pragma once

// Thinning of a long series while it is read: the rows are gathered into
// buckets of consecutive rows, and each bucket keeps only its lowest and its
// highest point. When the buckets reach twice `bucket_limit`, neighbours are
// merged and every later bucket takes twice as many rows. Memory stays
// constant however long the series is, and no spike is lost: every kept
// point is a point of the series, and the extremes of each stretch are kept.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plot/chart.h"

namespace ecflux::plot {

class Decimator {
 public:
  explicit Decimator(std::size_t bucket_limit = 500);

  void add(double x, double y);
  // A missing value: the line is broken here, unless the gap ends up inside
  // a merged bucket, where it is too narrow to see.
  void gap();

  // The kept points in their order, as segments of `line`.
  void fill(Line& line) const;

 private:
  struct Extreme {
    std::int64_t row;
    Point point;
  };
  struct Bucket {
    Extreme lowest;
    Extreme highest;
    bool starts_segment;
  };

  void merge_pairs();

  std::size_t bucket_limit_;
  std::int64_t rows_per_bucket_ = 1;
  std::int64_t rows_in_last_ = 0;
  std::int64_t row_ = 0;
  bool gap_pending_ = false;
  std::vector<Bucket> buckets_;
};

}  // namespace ecflux::plot
