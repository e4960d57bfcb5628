"""The timing every benchmark script shares, and the check for the peer a
script compares against."""
import importlib
import os
import shutil
import statistics
import subprocess
import sys
import time
import timeit


def best_time(call, repeats=3):
    """The least wall time of `repeats` runs of `call()`, in seconds (the
    garbage collector off while it runs, as timeit does)."""
    return min(timeit.repeat(call, number=1, repeat=repeats))


def interleaved_medians(contenders, rounds):
    """The median wall time of each (name, call) contender, in seconds, the
    contenders run round-robin `rounds` times."""
    times = {name: [] for name, _ in contenders}
    for _ in range(rounds):
        for name, call in contenders:
            start = time.perf_counter()
            call()
            times[name].append(time.perf_counter() - start)
    return {name: statistics.median(runs) for name, runs in times.items()}


_FRESH_CALL = """
import sys, time
sys.path.insert(0, sys.argv[1])
exec(sys.argv[2])
start = time.perf_counter()
exec(sys.argv[3])
print(time.perf_counter() - start)
"""


def fresh_process_time(setup, call):
    """The wall time of the statement `call`, run once in a fresh interpreter
    after the statement `setup`, which may import the benchmark scripts."""
    out = subprocess.run([sys.executable, "-c", _FRESH_CALL, os.path.dirname(os.path.abspath(__file__)), setup, call],
                         check=True, capture_output=True, text=True)
    return float(out.stdout)


def _missing_peer(what, debian_package):
    script = os.path.basename(sys.argv[0])
    sys.exit(f"{script}: {what} is not installed; it comes with the Debian package "
             f"{debian_package} (apt-get install {debian_package})")


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
