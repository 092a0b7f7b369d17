"""A private Wine session under its own Xvfb: a fresh WINEPREFIX with the X11 driver
unmanaged (no window manager, no stalls on close), ended with wineserver -k."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testenv import start_xvfb, stop_processes  # noqa: E402


class WineSession:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vellum-wine-")
        self.processes = []
        self.env = dict(os.environ, WINEPREFIX=os.path.join(self.dir, "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self._start_x()
        self.run(["wineboot", "-i"], timeout=180)
        # The new prefix is whole only once its server has written it out and
        # ended; on a busy machine that can take a while.
        self.run(["wineserver", "-w"], timeout=180)
        self.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                  "/t", "REG_SZ", "/d", "N", "/f"], timeout=180)
        self.run(["wineserver", "-w"], timeout=60)
        # One server for the whole session, with Wine's own helper processes
        # started now: a server or helper started by a later program would
        # inherit that program's output pipes and keep them open.
        quiet = dict(env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-p"], timeout=60, **quiet)
        subprocess.run(["wine", "cmd", "/c", "exit"], timeout=120, **quiet)

    def _start_x(self):
        self.processes.append(start_xvfb(self.env))

    def run(self, args, timeout=60, env=None):
        """Runs args in the session, with env's variables added to the session's."""
        # Output into files, not pipes: a Wine service started on demand (rpcss,
        # a device helper) inherits the program's output and outlives it, and a
        # pipe would then stay open until the session ends, holding up the call
        # long after the program itself has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(args, env=dict(self.env, **(env or {})), stdout=out,
                                    stderr=err, timeout=timeout)
            texts = []
            for stream in (out, err):
                stream.seek(0)
                # As text=True reads it: line ends made "\n".
                text = stream.read().decode(errors="replace")
                texts.append(text.replace("\r\n", "\n").replace("\r", "\n"))
            return subprocess.CompletedProcess(args, result.returncode, *texts)

    def wine(self, exe, *args, timeout=60):
        return self.run(["wine", exe, *args], timeout=timeout)

    def spawn_wine(self, exe, *args):
        process = subprocess.Popen(["wine", exe, *args], env=self.env, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True)
        self.processes.append(process)
        return process

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        stop_processes(self.processes)
        shutil.rmtree(self.dir, ignore_errors=True)


class WineTestCase(unittest.TestCase):
    """Tests that share one Wine session per class, as self.w."""

    @classmethod
    def setUpClass(cls):
        cls.w = WineSession()

    @classmethod
    def tearDownClass(cls):
        cls.w.close()
