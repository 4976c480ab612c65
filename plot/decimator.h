#pragma once

// Thinning of a long series while it is read: the rows are gathered into
// buckets of consecutive rows, and each bucket keeps only its first, lowest,
// highest and last point. When the buckets reach twice `bucket_limit`,
// neighbours are merged and every later bucket takes twice as many rows.
// Memory stays constant however long the series is, every kept point is a
// point of the series, no spike is lost, and the line still begins and ends
// where the series does.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plot/chart.h"

namespace ecflux::plot {

class Decimator {
 public:
  // At most 8 * bucket_limit points are kept.
  explicit Decimator(std::size_t bucket_limit = 250);

  void add(double x, double y);
  // A missing value: the line is broken here, unless the gap ends up inside
  // a merged bucket, where it is too narrow to see.
  void gap();

  // The kept points in their order, as segments of `pieces`.
  void fill(Pieces<Point>& pieces) const;

 private:
  struct Kept {
    std::int64_t row;
    Point point;
  };
  struct Bucket {
    Kept first;
    Kept lowest;
    Kept highest;
    Kept last;
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
