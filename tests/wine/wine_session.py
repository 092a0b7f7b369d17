"""A private Wine session under its own Xvfb: a fresh WINEPREFIX with the X11 driver
unmanaged (no window manager, no stalls on close), ended with wineserver -k."""
import os
import select
import shutil
import subprocess
import tempfile


class WineSession:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vellum-wine-")
        self.processes = []
        self.env = dict(os.environ, WINEPREFIX=os.path.join(self.dir, "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self._start_x()
        self.run(["wineboot", "-i"], timeout=120)
        self.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                  "/t", "REG_SZ", "/d", "N", "/f"], timeout=60)
        self.run(["wineserver", "-w"], timeout=60)

    def _start_x(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                 "1024x768x24", "-nolisten", "tcp"], pass_fds=(write_end,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(xvfb)
        os.close(write_end)
        number = b""
        ready, _, _ = select.select([read_end], [], [], 15)
        while ready and not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def run(self, args, timeout=60):
        return subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=timeout)

    def wine(self, exe, *args, timeout=60):
        return self.run(["wine", exe, *args], timeout=timeout)

    def spawn_wine(self, exe, *args):
        process = subprocess.Popen(["wine", exe, *args], env=self.env, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True)
        self.processes.append(process)
        return process

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(self.dir, ignore_errors=True)
