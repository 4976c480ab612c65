#include "plot/decimator.h"

#include <algorithm>

namespace ecflux::plot {

Decimator::Decimator(std::size_t bucket_limit)
    : bucket_limit_(std::max<std::size_t>(bucket_limit, 1)) {
  buckets_.reserve(2 * bucket_limit_);
}

void Decimator::add(double x, double y) {
  const Kept here{row_++, {x, y}};
  if (buckets_.empty() || gap_pending_ || rows_in_last_ >= rows_per_bucket_) {
    if (buckets_.size() >= 2 * bucket_limit_) merge_pairs();
    buckets_.push_back({here, here, here, here, buckets_.empty() || gap_pending_});
    rows_in_last_ = 1;
    gap_pending_ = false;
    return;
  }
  Bucket& bucket = buckets_.back();
  if (y < bucket.lowest.point.y) bucket.lowest = here;
  if (y > bucket.highest.point.y) bucket.highest = here;
  bucket.last = here;
  ++rows_in_last_;
}

void Decimator::gap() { gap_pending_ = true; }

void Decimator::merge_pairs() {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < buckets_.size(); i += 2) {
    Bucket merged = buckets_[i];
    if (i + 1 < buckets_.size()) {
      const Bucket& next = buckets_[i + 1];
      if (next.lowest.point.y < merged.lowest.point.y) merged.lowest = next.lowest;
      if (next.highest.point.y > merged.highest.point.y) merged.highest = next.highest;
      merged.last = next.last;
    }
    buckets_[kept++] = merged;
  }
  buckets_.resize(kept);
  rows_per_bucket_ *= 2;
}

void Decimator::fill(Pieces<Point>& pieces) const {
  for (const Bucket& bucket : buckets_) {
    if (bucket.starts_segment) pieces.gap();
    Kept points[] = {bucket.first, bucket.lowest, bucket.highest, bucket.last};
    std::sort(std::begin(points), std::end(points),
              [](const Kept& a, const Kept& b) { return a.row < b.row; });
    for (std::size_t i = 0; i < 4; ++i) {
      if (i > 0 && points[i].row == points[i - 1].row) continue;
      pieces.add(points[i].point);
    }
  }
}

}  // namespace ecflux::plot
