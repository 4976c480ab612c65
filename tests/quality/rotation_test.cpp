// Tilt correction through the program: records measured by a tilted sensor,
// turned back by the double rotation of each block and by the plane fitted
// to the blocks of a run.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "tests/quality/quality_runs.h"

namespace ecflux {
namespace {

using quality_testing::CsvTable;
using quality_testing::FieldRecord;
using quality_testing::run_ecflux;
using quality_testing::write_field_run;
using testing::TempFolder;

constexpr double radians = std::numbers::pi / 180.0;
constexpr std::size_t block_samples = 4800;  // 300 s at 16 Hz
constexpr int block_seconds = 300;

using Vector = std::array<double, 3>;

// The record as a sensor measures it whose axes make the flow's x, y and z
// axes `x`, `y` and `z` (unit vectors in the sensor's frame), plus an offset
// of w, all in cm/s.
FieldRecord as_measured(const FieldRecord& flow, const Vector& x, const Vector& y, const Vector& z,
                        double w_offset = 0.0) {
  FieldRecord m = flow;
  for (std::size_t i = 0; i < flow.size(); ++i) {
    const double u = flow.u[i], v = flow.v[i], w = flow.w[i];
    m.u[i] = x[0] * u + y[0] * v + z[0] * w;
    m.v[i] = x[1] * u + y[1] * v + z[1] * w;
    m.w[i] = x[2] * u + y[2] * v + z[2] * w + w_offset;
  }
  return m;
}

// Runs each folder with its arguments; every run must complete.
void run_all(const std::vector<std::pair<const TempFolder*, std::vector<std::string>>>& runs) {
  for (const auto& [folder, arguments] : runs) {
    const testing::ProcessResult run = run_ecflux(folder->path(), arguments);
    ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  }
}

TEST(Rotation, DoubleRotationTurnsATiltedSensorBackToTheFlow) {
  const FieldRecord flow =
      quality_testing::turbulent_field(3 * block_samples, block_samples, 16.0, 8);
  TempFolder untilted;
  write_field_run(untilted, flow, block_seconds);
  run_all({{&untilted, {"--csv"}}});
  const CsvTable expected(untilted / "blocks.csv");

  for (const double tilt : {2.0, 5.0}) {
    SCOPED_TRACE("tilt " + std::to_string(tilt));
    // The mean flow 30 degrees from the sensor's x axis towards its y axis,
    // rising by the tilt above the sensor's xy plane.
    const double cy = std::cos(30.0 * radians), sy = std::sin(30.0 * radians);
    const double cp = std::cos(tilt * radians), sp = std::sin(tilt * radians);
    const FieldRecord measured =
        as_measured(flow, {cp * cy, cp * sy, sp}, {-sy, cy, 0.0}, {-sp * cy, -sp * sy, cp});
    TempFolder plain, rotated;
    write_field_run(plain, measured, block_seconds);
    write_field_run(rotated, measured, block_seconds);
    run_all({{&plain, {"--csv"}}, {&rotated, {"--csv", "--rotate", "double"}}});
    const CsvTable as_read(plain / "blocks.csv");
    const CsvTable blocks(rotated / "blocks.csv");
    ASSERT_EQ(blocks.rows(), 3u);

    for (std::size_t block = 0; block < 3; ++block) {
      SCOPED_TRACE("block " + std::to_string(block + 1));
      for (const std::string name : {"flux_linear_W_m2", "flux_run_W_m2"}) {
        const double flux = expected.number(block, name);
        EXPECT_NEAR(blocks.number(block, name), flux, 0.01 * std::fabs(flux)) << name;
        // The tilt mixes u's heat flux into w: the record as measured is off.
        EXPECT_GT(std::fabs(as_read.number(block, name) - flux), 0.02 * std::fabs(flux)) << name;
      }
      EXPECT_LE(std::fabs(blocks.number(block, "w_mean_cm_s")), 1e-12);
      EXPECT_NEAR(blocks.number(block, "yaw_deg"), 30.0, 1e-9);
      EXPECT_NEAR(blocks.number(block, "pitch_deg"), tilt, 1e-9);
      EXPECT_EQ(blocks.text(block, "roll_deg"), "");
      // The current keeps its measured speed and direction.
      for (const std::string name : {"u_mean_cm_s", "v_mean_cm_s", "magnitude_cm_s",
                                     "magnitude_std_cm_s", "direction_deg"}) {
        EXPECT_EQ(blocks.text(block, name), as_read.text(block, name)) << name;
      }
    }
  }
}

// A run folder's record.json value after "name": inside the plane's object.
double plane_value(const TempFolder& folder, const std::string& name) {
  const std::string json = folder.read("run.json");
  const std::size_t plane = json.find("\"plane\"");
  const std::size_t at = json.find("\"" + name + "\"", plane);
  if (plane == std::string::npos || at == std::string::npos) {
    ADD_FAILURE() << "no plane " << name << " in run.json";
    return 0.0;
  }
  return std::strtod(json.c_str() + json.find(':', at) + 1, nullptr);
}

Vector cross(const Vector& a, const Vector& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

TEST(Rotation, ThePlanarFitRecoversTheTiltOfBlocksTiltedAlike) {
  constexpr std::size_t blocks_in_run = 6;
  const FieldRecord base =
      quality_testing::turbulent_field(blocks_in_run * block_samples, block_samples, 16.0, 9);
  // Each block's current in its own direction and speed, within the plane
  // of the flow.
  FieldRecord flow = base;
  const double directions[] = {0.0, 70.0, 150.0, 200.0, 260.0, 320.0};
  const double speeds[] = {1.0, 0.6, 1.4, 0.8, 1.2, 0.5};
  for (std::size_t i = 0; i < flow.size(); ++i) {
    const std::size_t block = i / block_samples;
    const double c = std::cos(directions[block] * radians),
                 s = std::sin(directions[block] * radians);
    const double u = base.u[i] * speeds[block], v = base.v[i];
    flow.u[i] = c * u - s * v;
    flow.v[i] = s * u + c * v;
  }
  TempFolder untilted;
  write_field_run(untilted, flow, block_seconds);
  run_all({{&untilted, {"--csv"}}});
  const CsvTable expected(untilted / "blocks.csv");

  for (const auto& [pitch, roll] : {std::pair{2.0, 5.0}, std::pair{5.0, -2.0}}) {
    SCOPED_TRACE("pitch " + std::to_string(pitch) + ", roll " + std::to_string(roll));
    // The flow's plane, seen from the sensor: pitched about the sensor's y
    // axis, then rolled about its x axis, and its w offset by 0.3 cm/s.
    const double ca = std::cos(pitch * radians), sa = std::sin(pitch * radians);
    const double cb = std::cos(roll * radians), sb = std::sin(roll * radians);
    const Vector z{sa, -ca * sb, ca * cb};
    const double along = std::sqrt(1.0 - z[0] * z[0]);
    const Vector x{along, -z[0] * z[1] / along, -z[0] * z[2] / along};
    const FieldRecord measured = as_measured(flow, x, cross(z, x), z, 0.3);
    TempFolder folder;
    write_field_run(folder, measured, block_seconds);
    run_all({{&folder, {"--csv", "--rotate", "planar"}}});

    EXPECT_NEAR(plane_value(folder, "pitch_deg"), pitch, 1e-9);
    EXPECT_NEAR(plane_value(folder, "roll_deg"), roll, 1e-9);
    EXPECT_NEAR(plane_value(folder, "offset_m_s"), 0.003, 1e-12);
    const CsvTable blocks(folder / "blocks.csv");
    ASSERT_EQ(blocks.rows(), blocks_in_run);
    for (std::size_t block = 0; block < blocks_in_run; ++block) {
      SCOPED_TRACE("block " + std::to_string(block + 1));
      // Every block lies in the plane: w is the flow's w again.
      const double flux = expected.number(block, "flux_linear_W_m2");
      EXPECT_NEAR(blocks.number(block, "flux_linear_W_m2"), flux, 1e-9 * std::fabs(flux));
      EXPECT_LE(std::fabs(blocks.number(block, "w_mean_cm_s")), 1e-9);
      EXPECT_NEAR(blocks.number(block, "pitch_deg"), pitch, 1e-9);
      EXPECT_NEAR(blocks.number(block, "roll_deg"), roll, 1e-9);
    }
  }
}

TEST(Rotation, APlaneFromCurrentsAlongOneChannelIsWarnedOfInTheRunAndTheCheck) {
  // Flood and ebb along the x axis: the blocks' mean currents differ along
  // it and hardly across it, so the tilt across it is not found.
  constexpr std::size_t blocks_in_run = 6;
  FieldRecord flow =
      quality_testing::turbulent_field(blocks_in_run * block_samples, block_samples, 16.0, 9);
  const double speeds[] = {1.0, -0.6, 1.4, -0.8, 1.2, -0.5};
  for (std::size_t i = 0; i < flow.size(); ++i) flow.u[i] *= speeds[i / block_samples];
  TempFolder folder;
  write_field_run(folder, flow, block_seconds);
  const std::string warning = "ecflux: warning: the blocks' mean currents run close to one line";
  {
    const testing::ProcessResult check = run_ecflux(folder.path(), {"--check", "--rotate=planar"});
    EXPECT_EQ(check.exit_status, 0) << check.standard_error;
    EXPECT_NE(check.standard_output.find(warning), std::string::npos) << check.standard_output;
  }
  const testing::ProcessResult run = run_ecflux(folder.path(), {"--csv", "--rotate", "planar"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_NE(run.standard_error.find(warning), std::string::npos) << run.standard_error;
  EXPECT_NE(folder.read("run.json").find("\"plane_uncertain\""), std::string::npos);
  // Warnings fail a strict run, this one too.
  EXPECT_EQ(run_ecflux(folder.path(), {"--strict", "--rotate", "planar"}).exit_status, 1);
}

TEST(Rotation, APlanarRunRefusesAPipeBeforeItReadsOrWrites) {
  TempFolder folder;
  folder.write("ConfigDRAVEK.Dat", testing::ConfigurationText{}.text());
  ASSERT_EQ(::mkfifo((folder / "data.txt").c_str(), 0600), 0);
  const auto before = folder.names();
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--rotate", "planar"},
        std::vector<std::string>{"--check", "--rotate=planar"}}) {
    SCOPED_TRACE(arguments.front());
    testing::ProcessOptions options;
    options.arguments = arguments;
    options.limit = std::chrono::seconds(30);
    testing::StartedProgram program(ECFLUX_PROGRAM, folder.path(), options);
    // The header and a few records, in one write that the pipe holds whole;
    // the writer stays open, so the run must not wait for the rest.
    const int writer = ::open((folder / "data.txt").c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const std::string start = "header\n" + testing::ten_hertz_records(10);
    ASSERT_EQ(::write(writer, start.data(), start.size()), static_cast<ssize_t>(start.size()));
    const testing::ProcessResult run = program.wait();
    ::close(writer);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.standard_error.find("--rotate planar reads the data file twice"),
              std::string::npos)
        << run.standard_error;
    EXPECT_EQ(folder.names(), before);
  }
}

}  // namespace
}  // namespace ecflux
