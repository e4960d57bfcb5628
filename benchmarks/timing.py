"""The timing every benchmark script shares."""
import timeit


def best_time(call, repeats=3):
    """The least wall time of `repeats` runs of `call()`, in seconds (the
    garbage collector off while it runs, as timeit does)."""
    return min(timeit.repeat(call, number=1, repeat=repeats))
