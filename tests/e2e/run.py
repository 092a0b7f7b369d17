"""Runs the end-to-end tests and ends with one line: N passed, N failed.
Usage: run.py [PATTERN [TEXT IN TEST IDS]]

Where it can (as root), the run goes into a network namespace of its own
(tests/private-network.sh): no test's traffic can leave it, and the BibleSync
tests, which need one, run; elsewhere they are skipped and say why."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))

from testenv import run_suite  # noqa: E402

PRIVATE_NETWORK = os.path.join(os.path.dirname(HERE), "private-network.sh")


def enter_private_network():
    """Runs this script again inside a private network namespace, when one can be made."""
    if os.environ.get("VELLUM_PRIVATE_NETWORK") == "1":
        return
    try:
        probe = subprocess.run([PRIVATE_NETWORK, "true"], capture_output=True, text=True,
                               timeout=30)
    except (OSError, subprocess.TimeoutExpired) as error:
        print(f"e2e: no private network namespace ({error}); BibleSync tests are skipped")
        return
    if probe.returncode != 0:
        print(f"e2e: no private network namespace ({probe.stderr.strip()}); "
              "BibleSync tests are skipped")
        return
    sys.stdout.flush()
    os.execv(PRIVATE_NETWORK, [PRIVATE_NETWORK, sys.executable, os.path.abspath(__file__),
                               *sys.argv[1:]])


if __name__ == "__main__":
    enter_private_network()
    sys.exit(run_suite(HERE, "e2e", sys.argv))
