#include "plot/page_table.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <string_view>
#include <vector>

#include "input/data_warnings.h"
#include "plot/csv_reader.h"
#include "plot/svg.h"
#include "report/output_files.h"

namespace ecflux::plot {
namespace {

// What the table lays out at most. A run's files hold 20 to about 60
// columns; a year of quarter-hour blocks is 35,040 rows, shown whole.
constexpr std::size_t table_column_limit = 100;
constexpr std::size_t table_row_limit = 100'000;
constexpr std::size_t table_cell_limit = 3'000'000;

// The columns shown first, in this order, where the file has them: the
// block's time, its flag and the fluxes a scientist reports.
using report::results_column;
using report::ResultsValue;
constexpr std::array<std::string_view, 8> csv_lead = {
    "block",
    results_column(ResultsValue::time).csv_name,
    "quality_flag",
    "flux_linear_delay_corrected_W_m2",
    results_column(ResultsValue::flux_linear).csv_name,
    results_column(ResultsValue::flux_run).csv_name,
    report::blocks_csv_mean_removed,
    "flux_linear_random_error_W_m2"};
constexpr std::array<std::string_view, 3> results_lead = {
    results_column(ResultsValue::time).label, results_column(ResultsValue::flux_linear).label,
    results_column(ResultsValue::flux_run).label};

// The place of the flag taken from run.json, for a file without a column of
// flags.
constexpr std::size_t record_flag = std::numeric_limits<std::size_t>::max();

// The part of the table that is shown: its first rows and columns.
struct TableCut {
  std::size_t rows;
  std::size_t columns;
};

TableCut table_cut(const BlockTable& table) {
  const std::size_t columns = std::min(table.columns.size(), table_column_limit);
  const std::size_t rows = std::min({table.records.size(), table_row_limit,
                                     table_cell_limit / std::max<std::size_t>(columns, 1)});
  return {rows, columns};
}

bool has_record_flags(const BlockTable& table) {
  return table.names.flag.empty() &&
         std::any_of(table.blocks.begin(), table.blocks.end(),
                     [](const BlockValues& block) { return block.flag != flag_not_known; });
}

// The shown columns in the order of the table: those of the lead that are
// among them, and the flag of run.json after the time, then the rest in
// the file's order.
std::vector<std::size_t> column_order(const BlockTable& table, std::size_t shown) {
  std::vector<std::size_t> order;
  const auto add_lead = [&](std::string_view name) {
    for (std::size_t c = 0; c < shown; ++c) {
      if (table.columns[c].name == name) {
        order.push_back(c);
        return;
      }
    }
  };
  if (table.csv) {
    for (const std::string_view name : csv_lead) add_lead(name);
  } else {
    for (const std::string_view name : results_lead) add_lead(name);
  }
  if (has_record_flags(table)) {
    const bool after_time = !order.empty() && table.columns[order[0]].name == table.names.time;
    order.insert(order.begin() + (after_time ? 1 : 0), record_flag);
  }
  for (std::size_t c = 0; c < shown; ++c) {
    if (std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
  }
  return order;
}

// A header cell: the name without its unit, with the unit below; a long
// name may break after each underscore, which falls between whole words.
std::string header_cell(const BlockColumn& column) {
  std::string cell = column.heading == column.name
                         ? std::string("<th>")
                         : "<th title=\"" + escape_xml(column.name) + "\">";
  for (const char c : escape_xml(column.heading)) {
    cell += c;
    if (c == '_') cell += "<wbr/>";
  }
  if (!column.unit.empty()) cell += "<span class=\"unit\">" + escape_xml(column.unit) + "</span>";
  return cell + "</th>";
}

// A value of blocks.csv as the table shows it: whole numbers as written, the
// time to ten significant digits, so that blocks close in time stay apart,
// others to five (the file has them in full).
std::string csv_cell(std::string_view text, bool time) {
  if (text.empty()) return "<td class=\"missing\">–</td>";
  const Field value = read_csv_number(text);
  if (value.state != FieldState::number || text.find_first_of(".eE") == std::string_view::npos)
    return "<td>" + escape_xml(text) + "</td>";
  char shown[32];
  std::snprintf(shown, sizeof shown, time ? "%.10g" : "%.5g", value.value);
  return "<td>" + std::string(shown) + "</td>";
}

// A field of the results file as written; asterisks stand out.
std::string fixed_cell(std::string_view text) {
  if (!text.empty() && text.find_first_not_of('*') == std::string_view::npos)
    return "<td class=\"wide\" title=\"too wide for its field\">" + escape_xml(text) + "</td>";
  return "<td>" + escape_xml(text) + "</td>";
}

std::string flag_cell(int flag) {
  if (flag == flag_not_known) return "<td class=\"missing\">–</td>";
  return "<td class=\"flag\">" + std::to_string(flag) + "</td>";
}

// The opening of a block's row: a flagged one is marked, and says why.
std::string row_start(int flag) {
  if (flag < 1) return "<tr>";
  return "<tr class=\"flag-" + std::to_string(flag) + "\" title=\"quality flag " +
         std::to_string(flag) + ": " + flag_words(flag) + "\">";
}

// "the first 100 of 200,000 columns", or nothing when all are shown.
std::string first_of(std::size_t shown, std::size_t all, std::string_view what) {
  if (shown == all) return {};
  return "the first " + input::with_thousands(static_cast<std::int64_t>(shown)) + " of " +
         input::with_thousands(static_cast<std::int64_t>(all)) + " " + std::string(what);
}

}  // namespace

void append_block_table(std::string& page, const BlockTable& table) {
  const TableCut cut = table_cut(table);
  page += "<section><h2>Blocks</h2>\n<p class=\"intro\">One row per complete block, from " +
          escape_xml(table.file_label) +
          (table.csv ? " (shown to five significant digits, the times to ten; the file holds "
                       "every value in full)."
                     : ", as written: asterisks stand for a value too wide for its field.");
  if (std::any_of(table.blocks.begin(), table.blocks.end(),
                  [](const BlockValues& block) { return block.flag >= 1; })) {
    page += " Rows of blocks flagged 1 (use with care) and 2 (do not use) are marked.";
  }
  const std::string rows = first_of(cut.rows, table.records.size(), "blocks");
  const std::string columns = first_of(cut.columns, table.columns.size(), "columns");
  if (!rows.empty() || !columns.empty()) {
    page += " The table shows " + rows + (!rows.empty() && !columns.empty() ? " and " : "") +
            columns + "; " + escape_xml(table.file_label) + " holds them all.";
  }
  const std::vector<std::size_t> order = column_order(table, cut.columns);
  page += "</p>\n<div class=\"scroll\"><table class=\"blocks\" id=\"blocks\">\n<thead><tr>";
  for (const std::size_t c : order) {
    page += c == record_flag ? header_cell({"flag", "", "flag"}) : header_cell(table.columns[c]);
  }
  page += "</tr></thead>\n<tbody>\n";
  for (std::size_t b = 0; b < cut.rows; ++b) {
    const int flag = b < table.blocks.size() ? table.blocks[b].flag : flag_not_known;
    page += row_start(flag);
    const std::vector<std::string_view> cells = table.cells(b, cut.columns);
    for (const std::size_t c : order) {
      const std::string_view text = c < cells.size() ? cells[c] : std::string_view();
      if (c == record_flag) {
        page += flag_cell(flag);
      } else if (table.csv) {
        page += csv_cell(text, table.columns[c].name == table.names.time);
      } else {
        page += fixed_cell(text);
      }
    }
    page += "</tr>\n";
  }
  page += "</tbody></table></div></section>\n";
}

}  // namespace ecflux::plot
