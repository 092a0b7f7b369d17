"""Runs the tests of the Debian package (build/dist/vellum_<version>_amd64.deb, made
by `make deb`) and ends with one line: N passed, N failed.
Usage: run.py [PATTERN [TEXT IN TEST IDS]]"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))

from testenv import run_suite  # noqa: E402

if __name__ == "__main__":
    sys.exit(run_suite(HERE, "package", sys.argv))
