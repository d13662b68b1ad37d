# What the benchmarks share: the release firmware driven through its console, and shell helpers.
import ctypes, os, socket, subprocess, sys, threading, time

PROMPT = b"DXP.0> "
ENDED = b"[ended]"

_libc = ctypes.CDLL(None, use_errno=True)


class Firmware:
    """switchfw run with the arguments in the work folder. A thread reads its
    console all the time (a full pipe would stop the firmware) and keeps the
    last `keep` bytes. A monitor command is done when the prompt shows
    anywhere in its output (log lines may follow it: board 26 logs what its
    chip refuses) or, with `mark`, when the mark, echoed by a command typed
    after it, comes back."""

    def __init__(self, args, work, keep=65536, mark=None):
        self.process = subprocess.Popen(args, cwd=work, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        bufsize=0)
        self.pid = self.process.pid
        self.keep, self.mark = keep, mark
        self.console = threading.Condition()
        self.text = b""
        threading.Thread(target=self.drain, daemon=True).start()

    def drain(self):
        while True:
            chunk = os.read(self.process.stdout.fileno(), 65536)
            with self.console:
                if not chunk:
                    self.text += b"\n" + ENDED
                    self.console.notify_all()
                    return
                self.text = (self.text + chunk)[-self.keep:]
                self.console.notify_all()

    def wait(self, limit=120):
        """Waits for the prompt (or the mark) in what the console showed
        since the last command; that text. Stops the benchmark when the
        firmware ends or does not answer in time."""
        done = PROMPT if self.mark is None else self.mark.encode()
        with self.console:
            if not self.console.wait_for(lambda: done in self.text or ENDED in self.text,
                                         limit) or ENDED in self.text:
                sys.exit(f"no monitor {'prompt' if self.mark is None else 'answer'}; "
                         "the console said:\n" + self.text[-2000:].decode(errors="replace"))
            return self.text.decode(errors="replace")

    def monitor(self, line, limit=120):
        """One monitor command's output."""
        with self.console:
            self.text = b""
        typed = line + "\n"
        if self.mark is not None:
            typed += f'echo "{self.mark}"\n'
        self.process.stdin.write(typed.encode())
        return self.wait(limit)

    def counter(self, name, ifname):
        """A port's counter as the monitor's "show counters" gives it (it
        cuts long names: RXBROADCASTPKT for RXBROADCASTPKTS), wherever a
        prompt or a log line sits on its line."""
        out = self.monitor(f"show counters All {name}.{ifname}")
        for line in out.replace(PROMPT.decode(), "\n").splitlines():
            head, colon, value = line.partition(":")
            shown = head.strip().split(".")
            if colon and len(shown) == 2 and name.startswith(shown[0]) and shown[1] == ifname:
                return int(value.split()[0].replace(",", ""))
        sys.exit(f"no {name}.{ifname} in the monitor's counters:\n{out}")

    def rss_kb(self):
        with open(f"/proc/{self.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def stop(self):
        """Ends the firmware; its TAPs are gone once this returns."""
        self.process.stdin.close()
        self.process.kill()
        self.process.wait()


def sh(cmd):
    subprocess.run(cmd, shell=True, check=True, stdout=subprocess.DEVNULL)


def ok(cmd):
    return subprocess.run(cmd, shell=True, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def socket_in(space, *args):
    """A socket made inside another network namespace."""
    home = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
    inside = os.open(f"/run/netns/{space}", os.O_RDONLY)
    try:
        if _libc.setns(inside, 0x40000000) != 0:
            sys.exit("setns failed")
        return socket.socket(*args)
    finally:
        _libc.setns(home, 0x40000000)
        os.close(home)
        os.close(inside)


def web_post(web, path, body):
    """Logs in to the web server on the local port and posts the form."""
    cookie = subprocess.run(
        f"curl -s -i -d 'username=admin&password=qivor' http://127.0.0.1:{web}/login.cgi",
        shell=True, capture_output=True, text=True).stdout
    cookie = cookie.split("Set-Cookie: WebManaged=")[1].split(";")[0].split("\r")[0]
    sh(f"curl -s -m 10 -b WebManaged={cookie} -d '{body}' http://127.0.0.1:{web}{path}")


def set_management_address(web, address):
    """Gives the management interface (the TAP "mgmt") the address, /24;
    waits up to 5 s for it."""
    web_post(web, "/setip.cgi",
             f"ip={address}&netmask=255.255.255.0&gateway=0.0.0.0&ifname=eth1")
    for _ in range(50):
        if f"inet {address}/24" in subprocess.run("ip -4 addr show mgmt", shell=True,
                                                  capture_output=True, text=True).stdout:
            break
        time.sleep(0.1)
