"""Runs the end-to-end tests and ends with one line: N passed, N failed."""
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)


def main():
    pattern = sys.argv[1] if len(sys.argv) > 1 else "test_*.py"
    suite = unittest.defaultTestLoader.discover(HERE, pattern=pattern)
    if len(sys.argv) > 2:  # a name filter: run only tests whose id contains it
        wanted = sys.argv[2]

        def matching(s):
            for t in s:
                if isinstance(t, unittest.TestSuite):
                    yield from matching(t)
                elif wanted in t.id():
                    yield t
        suite = unittest.TestSuite(list(matching(suite)))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    failed = len(result.failures) + len(result.errors)
    print(f"e2e: {result.testsRun - failed} passed, {failed} failed")
    return 0 if failed == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
