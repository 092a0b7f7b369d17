"""Starting a private X server for a test session, shared by the end-to-end and
Wine tests."""
import os
import select
import subprocess


def start_xvfb(env):
    """Starts Xvfb on a free display (1024x768), sets DISPLAY in env and returns the
    process. The display number is read from -displayfd up to its newline."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                "1024x768x24", "-nolisten", "tcp"], env=env,
                               pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    try:
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], 15)
            if not ready:
                break
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    finally:
        os.close(read_end)
    if not number.strip():
        process.kill()
        raise RuntimeError("Xvfb did not start")
    env["DISPLAY"] = ":" + number.decode().strip()
    return process
