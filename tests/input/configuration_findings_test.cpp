#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_paths.h"
#include "input/configuration.h"
#include "tests/support/test_support.h"

namespace ecflux::input {
namespace {

using ecflux::testing::ConfigurationText;

// The findings of a configuration, each without the "line L of the
// configuration PATH: " that names where it is.
std::vector<std::string> findings(const ConfigurationText& config) {
  auto reader =
      textio::LineReader::from_text(config.text(), configuration_unit, "/run/ConfigDRAVEK.Dat");
  std::vector<textio::FieldPlace> places;
  EXPECT_TRUE(read_configuration(reader, &places).ok());
  std::vector<std::string> texts;
  for (const base::Warning& finding : configuration_findings(places)) {
    EXPECT_EQ(finding.kind, base::WarningKind::configuration_text);
    const std::string where = "line " + std::to_string(finding.line) + " of the configuration " +
                              base::absolute_path(configuration_file_name) + ": ";
    EXPECT_EQ(finding.text.rfind(where, 0), 0u) << finding.text;
    texts.push_back(finding.text.substr(where.size()));
  }
  return texts;
}

TEST(ConfigurationFindings, ValuesAsWrittenAreNotFlagged) {
  EXPECT_EQ(findings(ConfigurationText{}), std::vector<std::string>{});
  ConfigurationText config;
  config.temperature_select = "1";
  config.w_select = "1";
  // Twenty characters of name, then a remark after a blank.
  config.data_file = "deployment-7-day.dat (the whole deployment)";
  EXPECT_EQ(findings(config), std::vector<std::string>{});
}

TEST(ConfigurationFindings, ChannelFlagsAndNamesThatReadAsSomethingElse) {
  ConfigurationText config;
  config.w_select = "2";
  config.results_file = "results-of-the-whole-run.out";
  EXPECT_EQ(findings(config),
            (std::vector<std::string>{
                "the results file name goes on after column 43, where its field of 20 columns "
                "ends; the name is cut there to \"results-of-the-whole\"",
                "column 24 (w column) holds \"2\", which chooses data column 4 as 0 does; write 0 "
                "or 1 there"}));
}

}  // namespace
}  // namespace ecflux::input
