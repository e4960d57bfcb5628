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
    contenders run round-robin `rounds` times. A contender may be (name,
    call, prepare): prepare() then runs untimed before each call, and call
    is given what it returns."""
    times = {contender[0]: [] for contender in contenders}
    for _ in range(rounds):
        for name, call, *prepare in contenders:
            arguments = [prepare[0]()] if prepare else []
            start = time.perf_counter()
            call(*arguments)
            times[name].append(time.perf_counter() - start)
    return {name: statistics.median(runs) for name, runs in times.items()}


def with_fresh_strs(value):
    """A copy of `value` (dicts, lists and scalars) in which every str is a
    new object. CPython keeps the UTF-8 of a str in it once a C encoder has
    asked for it, so a peer handed the same objects again copies UTF-8 made
    in an earlier round; handed fresh strs, it encodes them as it must the
    first time a caller's data reaches it."""
    if isinstance(value, str):
        return (value + ".")[:-1]
    if isinstance(value, dict):
        return {with_fresh_strs(key): with_fresh_strs(item) for key, item in value.items()}
    if isinstance(value, list):
        return [with_fresh_strs(item) for item in value]
    return value


_FRESH_CALL = """
import sys, time
sys.path.insert(0, sys.argv[1])
exec(sys.argv[2])
start = time.perf_counter()
exec(sys.argv[3])
print(time.perf_counter() - start)
"""


def fresh_process_time(setup, call, children=3):
    """The wall time of the statement `call`, run once in a fresh interpreter
    after the statement `setup`, which may import the benchmark scripts: the
    least of `children` such interpreters, since one run on a shared machine
    is easily slowed."""
    command = [sys.executable, "-c", _FRESH_CALL, os.path.dirname(os.path.abspath(__file__)), setup, call]
    return min(float(subprocess.run(command, check=True, capture_output=True, text=True).stdout)
               for _ in range(children))


def fresh_process_step(setup, call, sizes):
    """How much longer `call` takes, run first in a fresh process, on the
    second of two sizes than on the first; `setup` makes the data, with {}
    where its size goes."""
    first, second = (fresh_process_time(setup.format(size), call) for size in sizes)
    return second / first


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
