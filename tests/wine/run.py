"""Runs the tests under Wine and ends with one line: N passed, N failed.
Usage: run.py [PATTERN [TEXT IN TEST IDS]]

As the end-to-end tests, the run goes into a network namespace of its own where
it can (tests/private-network.sh): Wine's sockets are the Linux ones."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))

from testenv import enter_private_network, run_suite  # noqa: E402

if __name__ == "__main__":
    enter_private_network(__file__, "wine")
    sys.exit(run_suite(HERE, "wine", sys.argv))
