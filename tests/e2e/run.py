"""Runs the end-to-end tests and ends with one line: N passed, N failed.
Usage: run.py [PATTERN [TEXT IN TEST IDS]]

Where it can (as root), the run goes into a network namespace of its own
(tests/private-network.sh): no test's traffic can leave it, and the BibleSync
tests, which need one, run; elsewhere they are skipped and say why."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))

from testenv import enter_private_network, run_suite  # noqa: E402

if __name__ == "__main__":
    enter_private_network(__file__, "e2e")
    sys.exit(run_suite(HERE, "e2e", sys.argv))
