"""The timing every benchmark script shares, and the check for the peer a
script compares against."""
import importlib
import os
import shutil
import sys
import timeit


def best_time(call, repeats=3):
    """The least wall time of `repeats` runs of `call()`, in seconds (the
    garbage collector off while it runs, as timeit does)."""
    return min(timeit.repeat(call, number=1, repeat=repeats))


def _missing_peer(what, debian_package):
    script = os.path.basename(sys.argv[0])
    sys.exit(f"{script}: {what} is not installed; it comes with the Debian package "
             f"{debian_package} (apt-get install {debian_package})")


def require_peer(import_name, debian_package):
    """The peer module `import_name`, imported; when it is missing, prints
    one line naming the Debian package that provides it and exits with
    status 0, since a benchmark without its peer has nothing to compare."""
    try:
        return importlib.import_module(import_name)
    except ModuleNotFoundError as missing:
        if missing.name != import_name.partition(".")[0]:
            raise
        script = os.path.basename(sys.argv[0])
        print(f"{script}: stopped: the peer module {import_name} is not installed; it comes with the Debian "
              f"package {debian_package} (apt-get install {debian_package})")
        sys.exit(0)


def require_module(import_name, debian_package):
    """The Python module `import_name`, imported; when it is missing, says
    which Debian package provides it and exits with status 1."""
    try:
        return importlib.import_module(import_name)
    except ModuleNotFoundError as missing:
        if missing.name != import_name.partition(".")[0]:
            raise
        _missing_peer(f"the Python module {import_name}", debian_package)


def require_command(command, debian_package):
    """Exits with status 1, naming the Debian package to install, when
    `command` is not on PATH."""
    if shutil.which(command) is None:
        _missing_peer(f"the command {command}", debian_package)
