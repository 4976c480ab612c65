// The F, I and A field writers against slow references built from the
// documented rules, on random values, widths and decimals. Each field is
// written into a buffer of exactly its width, so a write past it is caught.

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "textio/fields.h"

namespace {

using ecflux::textio::max_field_width;

std::string right_justified(const std::string& text, int width) {
  const auto columns = static_cast<std::size_t>(width);
  if (text.size() > columns) return std::string(columns, '*');
  return std::string(columns - text.size(), ' ') + text;
}

// Fw.d written the slow way. printf's %.*f gives the exact binary value
// rounded to d places with ties to even, the rule of the field; the rest
// are the field's own rules.
std::string reference_real(double value, int width, int decimals) {
  if (std::isnan(value)) return right_justified("NaN", width);
  if (std::isinf(value)) {
    if (value > 0) return right_justified(width >= 8 ? "Infinity" : "Inf", width);
    return right_justified(width >= 9 ? "-Infinity" : "-Inf", width);
  }
  char digits[800];
  std::snprintf(digits, sizeof digits, "%.*f", decimals, std::fabs(value));
  std::string body = digits;
  std::string integer_part = body.substr(0, body.find('.'));
  std::string fraction_part =
      body.find('.') == std::string::npos ? "" : body.substr(body.find('.') + 1);
  // The minus belongs to every negative value, also one that rounds to zero;
  // a zero of either sign has none.
  const std::string sign = value < 0 ? "-" : "";
  std::string text = sign + (integer_part == "0" ? "" : integer_part) + "." + fraction_part;
  if (integer_part == "0" && static_cast<int>(text.size()) < width) {
    text = sign + "0." + fraction_part;
  }
  return right_justified(text, width);
}

std::string reference_integer(std::int64_t value, int width) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%" PRId64, value);
  return right_justified(digits, width);
}

std::string reference_text(const std::string& text, int width) {
  const auto columns = static_cast<std::size_t>(width);
  if (text.size() >= columns) return text.substr(0, columns);
  return text + std::string(columns - text.size(), ' ');
}

// A value for an F field: raw bits (any double, NaN and infinities among
// them), a decimal fraction near a rounding tie, or a magnitude near the
// width of the field.
double real_value(FuzzedDataProvider& provider) {
  switch (provider.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return std::bit_cast<double>(provider.ConsumeIntegral<std::uint64_t>());
    case 1: {
      // Decimals ending in 5, such as 2.675: the decimal tie lies just
      // above or below the binary value.
      const auto k = provider.ConsumeIntegral<std::int64_t>() % 100000000000LL;
      const int p = provider.ConsumeIntegralInRange<int>(0, 18);
      return (static_cast<double>(k) * 10.0 + 5.0) / std::pow(10.0, p + 1);
    }
    case 2: {
      // Exact binary fractions: true ties when the decimals are fewer.
      const auto m = provider.ConsumeIntegral<std::int32_t>();
      return std::ldexp(static_cast<double>(m), provider.ConsumeIntegralInRange<int>(-30, 10));
    }
    default: {
      const double scale = std::pow(10.0, provider.ConsumeIntegralInRange<int>(-20, 25));
      return provider.ConsumeFloatingPointInRange<double>(-1.0, 1.0) * scale;
    }
  }
}

template <class Write>
std::string written(int width, Write write) {
  // Exactly the field's width on the heap: a byte beyond it is a reported
  // overflow.
  auto buffer = std::make_unique<char[]>(static_cast<std::size_t>(width));
  char* end = write(buffer.get());
  FUZZ_CHECK(end == buffer.get() + width, "returned %td characters for width %d",
             end - buffer.get(), width);
  return std::string(buffer.get(), static_cast<std::size_t>(width));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  while (provider.remaining_bytes() > 0) {
    const int width = provider.ConsumeBool()
                          ? provider.ConsumeIntegralInRange<int>(1, 30)
                          : provider.ConsumeIntegralInRange<int>(1, max_field_width);
    switch (provider.ConsumeIntegralInRange<int>(0, 2)) {
      case 0: {
        const int decimals = provider.ConsumeIntegralInRange<int>(0, width - 1);
        const double value = real_value(provider);
        const std::string got = written(width, [&](char* out) {
          return ecflux::textio::put_real(out, value, width, decimals);
        });
        const std::string want = reference_real(value, width, decimals);
        FUZZ_CHECK(got == want, "F%d.%d of %a (%.17g): '%s', expected '%s'", width, decimals, value,
                   value, got.c_str(), want.c_str());
        break;
      }
      case 1: {
        const auto value = provider.ConsumeIntegral<std::int64_t>();
        const std::string got = written(
            width, [&](char* out) { return ecflux::textio::put_integer(out, value, width); });
        const std::string want = reference_integer(value, width);
        FUZZ_CHECK(got == want, "I%d of %" PRId64 ": '%s', expected '%s'", width, value,
                   got.c_str(), want.c_str());
        break;
      }
      default: {
        const std::string text = provider.ConsumeRandomLengthString(300);
        const std::string got =
            written(width, [&](char* out) { return ecflux::textio::put_text(out, text, width); });
        FUZZ_CHECK(got == reference_text(text, width), "A%d of a text of %zu characters", width,
                   text.size());
        break;
      }
    }
  }
  return 0;
}
