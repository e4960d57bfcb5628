"""Deadlines for child processes in the tests: hang guards, never a check.

No test passes or fails on how long a call takes; a bound is checked by what
the code counts (a budget's own error, a size). A deadline only stops a call
that hangs, so it is set far above what the call needs. Give `hang_guard`
at least ten times what the call takes in a release build on a loaded
machine: slower builds set BEZO_TEST_SLOW_FACTOR in their test environment
(the sanitizer build does), and every deadline is multiplied by it.

    subprocess.run([...], timeout=hang_guard(60))
"""
import os

SLOW_FACTOR = float(os.environ.get("BEZO_TEST_SLOW_FACTOR") or 1)


def hang_guard(seconds):
    """The deadline, in seconds, of a call that needs far less than `seconds`
    in a release build."""
    return seconds * SLOW_FACTOR
