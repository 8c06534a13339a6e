"""Where the built programs and the tools are."""

import os
import pathlib
import subprocess

SOURCE = pathlib.Path(__file__).resolve().parents[2]


def folder():
    """The build folder: $RTUPOLL_BUILD_DIR, or build/ at the top of the tree."""
    return pathlib.Path(os.environ.get("RTUPOLL_BUILD_DIR", SOURCE / "build"))


def tool(name):
    """A program built into the build folder (rtupoll, rtu-sim)."""
    path = folder() / name
    if not path.exists():
        raise FileNotFoundError(f"{path} is not built")
    return path


def program():
    """rtupoll: $RTUPOLL_PROGRAM (another build, for a before-and-after), or
    the build folder's."""
    other = os.environ.get("RTUPOLL_PROGRAM")
    return pathlib.Path(other) if other else tool("rtupoll")


def script(name):
    """A script of the source tree's tools/ folder."""
    return SOURCE / "tools" / name


def make(*targets):
    """Installs what is missing and builds the targets into build/, as
    ./run-tests.sh does; the scripts that measure call it first."""
    subprocess.run(
        ["bash", "-c", 'source scripts/setup.sh && rtupoll_install_missing_packages && rtupoll_build "$@"',
         "make", *targets],
        cwd=SOURCE,
        check=True,
        stdout=subprocess.DEVNULL,
    )
