"""The package as it is installed: into a scratch prefix by cmake --install,
and by pip into a scratch folder, each imported from there by a Python that
sees nothing of the build, and run on the example."""

import os
import shutil
import subprocess
import sys
import textwrap
from pathlib import Path

from conftest import BUILD, REPOSITORY, example_folder

# Imports the package and runs the folder given: where the package is, and
# the first block's flux.
USE = textwrap.dedent("""
    import sys
    import ecflux
    run = ecflux.run(sys.argv[1])
    print(ecflux.__file__)
    print(run.blocks["flux_run_W_m2"].iloc[0])
""")


def use_from(folder, run_folder):
    environment = {key: value for key, value in os.environ.items() if key != "PYTHONPATH"}
    environment["PYTHONPATH"] = str(folder)
    done = subprocess.run([sys.executable, "-c", USE, str(run_folder)], env=environment,
                          cwd="/", capture_output=True, text=True, check=False)
    assert done.returncode == 0, done.stderr
    return done.stdout.splitlines()


def test_cmake_install_into_a_scratch_prefix(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(prefix), "--component",
                    "python"], check=True, capture_output=True)
    package = prefix / "lib" / "python3" / "dist-packages"
    installed = sorted(path.relative_to(prefix).as_posix() for path in prefix.rglob("*")
                       if path.is_file())

    where, flux = use_from(package, example_folder(tmp_path))

    # The build's list of installed files: COMPONENT PATH per line.
    listed = [line.split() for line in (BUILD / "installed-files.txt").read_text().splitlines()]
    assert installed == sorted(path for component, path in listed if component == "python")
    assert "share/doc/python3-ecflux/copyright" in installed
    module = next(name for name in installed if "/_ecflux" in name)
    assert module.endswith(".so")
    assert where == str(package / "ecflux" / "__init__.py")
    assert float(flux) == -120.47817435706735


def test_pip_install_into_a_scratch_folder(tmp_path):
    # pip builds in the folder it is given: a copy of the package's sources,
    # whose module it takes from the tests' build folder.
    source = tmp_path / "source"
    shutil.copytree(REPOSITORY / "python", source / "python",
                    ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__"))
    shutil.copy(REPOSITORY / "CMakeLists.txt", source)
    target = tmp_path / "target"
    environment = dict(os.environ, ECFLUX_CMAKE_BUILD=str(BUILD), PIP_NO_INDEX="1")
    subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-build-isolation",
                    "--no-deps", "--target", str(target), str(source / "python")],
                   env=environment, check=True, capture_output=True)

    where, flux = use_from(target, example_folder(tmp_path))

    assert where == str(target / "ecflux" / "__init__.py")
    assert (target / "ecflux" / "__init__.pyi").exists()
    assert float(flux) == -120.47817435706735
