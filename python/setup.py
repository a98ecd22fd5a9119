"""The wheel's platform tag.

The package is pure Python, but the wheels the build makes also carry the
card library for one platform (morvanteportio/lib/): such a wheel suits any
Python 3 on that platform only, so it is tagged py3-none-PLATFORM, with the
platform the build names in MORVANTEPORTIO_WHEEL_PLATFORM (linux_x86_64,
win32, win_amd64). Without it the wheel is a plain py3-none-any that finds the
library on the system.
"""
import os

from setuptools import Distribution, setup

platform = os.environ.get("MORVANTEPORTIO_WHEEL_PLATFORM")
options = {}
if platform:
    from wheel.bdist_wheel import bdist_wheel

    class WithLibraries(Distribution):
        """Native files inside: installed as platform files, not pure ones."""

        def has_ext_modules(self):
            return True

    class PlatformWheel(bdist_wheel):
        def get_tag(self):
            return "py3", "none", platform

    options = {"distclass": WithLibraries, "cmdclass": {"bdist_wheel": PlatformWheel}}

setup(**options)
