"""ecflux.check: what ecflux --check reports, as data."""

import subprocess

import ecflux
from conftest import PROGRAM, folder_state, synthetic, synthetic_folder


def test_the_check_of_the_example_is_the_programs(example):
    report = subprocess.run([str(PROGRAM), "--check", str(example)], capture_output=True,
                            text=True, check=True).stdout
    before = folder_state(example)

    checked = ecflux.check(example)

    assert folder_state(example) == before
    assert checked.configuration_path == str(example / "ConfigDRAVEK.Dat")
    for field in checked.fields:
        columns = (f"{field.first_column}-{field.last_column}"
                   if field.first_column != field.last_column else str(field.first_column))
        assert f"{field.line:>4}  {columns:<7}  {field.name:<21}\"{field.text}\"" in report
        assert field.value_taken in report
    assert [field.name for field in checked.fields][:3] == \
        ["data file name", "results file name", "sample rate"]
    assert (checked.block_samples, checked.window_samples, checked.window_lengths,
            checked.largest_delay) == (600, 300, 104, 20)
    assert (checked.lines_read, checked.records_read, checked.complete_blocks,
            checked.samples_left_over) == (2101, 2100, 3, 300)
    assert (checked.first_time, checked.last_time) == (0.0, 0.058305556)
    assert checked.time_unit == "hours"
    assert checked.input_end == "at the end of the file"
    assert checked.warnings == [] and checked.leftovers == []
    assert checked.would_complete and checked.verdict is None


def test_the_verdict_of_a_run_that_would_not_complete(tmp_path):
    arrays = synthetic(16 * 200)
    arrays[3][16 * 130] = float("nan")
    folder = synthetic_folder(tmp_path, arrays)
    (folder / ".results.out.ecflux-partial").write_text("left behind\n")

    checked = ecflux.check(folder, strict=True)

    assert [warning.kind for warning in checked.warnings] == ["unreadable_value"]
    assert checked.warnings[0].line == 16 * 130 + 2
    assert "a value that is not a number" in checked.input_end
    assert checked.complete_blocks == 2
    assert checked.leftovers == [str(folder / ".results.out.ecflux-partial")]
    assert not checked.would_complete
    assert checked.verdict.startswith("ecflux: a run that did not complete left staged files")

    (folder / ".results.out.ecflux-partial").unlink()
    assert ecflux.check(folder, strict=True).verdict == \
        "ecflux: --strict: a run would give 1 warning and replace nothing"
    assert ecflux.check(folder).would_complete


def test_quality_options_change_what_the_check_reads(tmp_path):
    arrays = synthetic(16 * 200)
    arrays[3][16 * 130] = float("nan")
    folder = synthetic_folder(tmp_path, arrays)

    assert ecflux.check(folder).complete_blocks == 2
    assert ecflux.check(folder, missing=-9999).complete_blocks == 3
