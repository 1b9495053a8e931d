"""Builds and installs the membrix package with pip, into a virtual environment or a user folder.

    python3 -m venv --system-site-packages ~/membrix-env
    ~/membrix-env/bin/pip install --no-build-isolation ./python

The compiled part is built by the project's CMake build (Release, without the
workbench, the benchmarks and MPI) for the interpreter that runs pip, with
the system's pybind11 and NumPy; nothing is fetched from outside. The
environment variables MEMBRIX_BUILD_JOBS (default 2) sets the parallel
compile jobs, and MEMBRIX_CMAKE_BUILD_DIR names an existing CMake build
folder of this source tree to build the module in (it must have been
configured for the same interpreter) instead of a fresh one.
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def version():
    with open(os.path.join(ROOT, "src", "common", "version.h"), encoding="utf-8") as f:
        return re.search(r'kProgramVersion = "([^"]+)"', f.read()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = os.environ.get("MEMBRIX_CMAKE_BUILD_DIR")
        jobs = os.environ.get("MEMBRIX_BUILD_JOBS", "2")
        if not build_dir:
            build_dir = os.path.join(os.path.abspath(self.build_temp), "cmake")
            generator = ["-G", "Ninja"] if shutil.which("ninja") else []
            subprocess.check_call(["cmake", "-S", ROOT, "-B", build_dir, *generator, "-DCMAKE_BUILD_TYPE=Release",
                                   "-DMEMBRIX_GUI=OFF", "-DMEMBRIX_BENCH=OFF", "-DMEMBRIX_MPI=OFF",
                                   "-DMEMBRIX_PYTHON=ON", "-DMEMBRIX_PYTHON_EXECUTABLE=" + sys.executable])
        subprocess.check_call(["cmake", "--build", build_dir, "--target", "membrix-python", "-j", jobs])
        built = glob.glob(os.path.join(build_dir, "python", "membrix", "_membrix*.so"))
        if len(built) != 1:
            raise RuntimeError("the build left %d compiled modules in %s/python/membrix" % (len(built), build_dir))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built[0], target)


# The build's own folders stay out of the source tree.
_scratch = os.path.join(tempfile.gettempdir(), "membrix-setup-%d" % os.getuid())
os.makedirs(_scratch, exist_ok=True)

setup(
    name="membrix",
    version=version(),
    description="Neuron models, clamp runs, sweeps, maps, populations and fits of the Membrix workbench",
    packages=["membrix"],
    package_dir={"membrix": "membrix"},
    ext_modules=[Extension("membrix._membrix", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
    install_requires=["numpy"],
    options={"build": {"build_base": _scratch}, "egg_info": {"egg_base": _scratch}},
    zip_safe=False,
)
