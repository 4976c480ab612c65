"""The Python package ecflux, for pip:

    pip install --no-build-isolation .      (in this folder)

builds the compiled module through the project's CMake build, offline, with
the setuptools and pybind11 of the Python that runs pip, and installs the
package. ECFLUX_CMAKE_BUILD names a build folder of the project that is
configured already: the module is then built (or found up to date) there.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parent


def project_version():
    """The one version number, the project's."""
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(ecflux VERSION ([0-9.]+)", text).group(1)


def pybind11_arguments():
    """Where CMake finds pybind11: the Python package's own files, where
    they are installed."""
    try:
        import pybind11
    except ImportError:
        return []
    return [f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"]


class CMakeBuild(build_ext):
    """Builds the module with CMake and puts it where the package goes."""

    def build_extension(self, ext):
        given = os.environ.get("ECFLUX_CMAKE_BUILD")
        build = Path(given) if given else Path(self.build_temp).resolve() / "cmake"
        if not given:
            subprocess.run(["cmake", "-S", str(SOURCE), "-B", str(build),
                            "-DCMAKE_BUILD_TYPE=Release", "-DECFLUX_TESTS=OFF",
                            "-DECFLUX_PYTHON=ON", f"-DPython3_EXECUTABLE={sys.executable}",
                            *pybind11_arguments()], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_ecflux", "-j",
                        str(os.cpu_count() or 1)], check=True)
        built = next((build / "python" / "ecflux").glob("_ecflux*"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(built, target)


setup(
    name="ecflux",
    version=project_version(),
    description="Heat fluxes from eddy-correlation records: the ecflux program in Python",
    packages=["ecflux"],
    package_data={"ecflux": ["__init__.pyi", "py.typed"]},
    ext_modules=[Extension("ecflux._ecflux", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
    install_requires=["numpy", "pandas"],
    zip_safe=False,
)
