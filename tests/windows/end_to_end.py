#!/usr/bin/env python3
"""The Windows programs under Wine against the Linux emulator on a pty.

qlr5500.exe runs each command beside the Linux qlr5500, each against a fresh
emulated receiver with the same memory: exit status, output, the commands
and speeds the receiver saw and its memory afterwards must be the same, and
the files they write must hold the receiver's bytes. SaveQLR5500.exe /SAVE
must leave a hidden, read-only snapshot, touch no port a second time, and
leave no file when the transfer fails. With --unprivileged the snapshot runs
as that user (Wine lets root write read-only files).

  end_to_end.py --emulator E --linux-cli Q --build DIR [--pace] [--unprivileged UID]

Wine's settings (WINEPREFIX, WINEDEBUG, ...) come from the environment, with
a persistent wineserver already running for the user.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

REGION = 7
RUN_SECONDS = 120
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what, file=sys.stderr)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def as_user(uid):
    return [] if uid is None else ["setpriv", f"--reuid={uid}", f"--regid={uid}", "--clear-groups"]


class Receiver:
    """One emulator run; its log gives the commands, --save-on-exit the memory."""

    def __init__(self, emulator, folder, image, pace=False, uid=None):
        self.folder = folder
        with open(os.path.join(folder, "initial.bin"), "wb") as f:
            f.write(image)
        self.log = open(os.path.join(folder, "emulator.log"), "w+")
        command = as_user(uid) + [emulator, "--image", "initial.bin", "--region", str(REGION), "--verbose",
                                  "--save-on-exit", "final.bin"] + (["--pace"] if pace else [])
        self.process = subprocess.Popen(command, cwd=folder, stdout=subprocess.PIPE, stderr=self.log, text=True)
        self.device = self.process.stdout.readline().strip()
        if not self.device:
            raise RuntimeError("the emulator printed no device")

    def commands(self):
        self.log.seek(0)
        # "HH:MM:SS.mmm   baud TEXT"
        return [tuple(line.split(None, 2)[1:]) for line in self.log.read().splitlines() if line.strip()]

    def stop(self, sig=signal.SIGTERM):
        if self.process.poll() is None:
            self.process.send_signal(sig)
            self.process.wait(timeout=10)
        if sig != signal.SIGTERM:
            return b""
        with open(os.path.join(self.folder, "final.bin"), "rb") as f:
            return f.read()


def run(command, cwd, ports, uid=None, env=None):
    environment = dict(os.environ, QLR5500_PORTS=ports, **(env or {}))
    started = time.monotonic()
    result = subprocess.run(as_user(uid) + command, cwd=cwd, env=environment, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True,
                            timeout=RUN_SECONDS)
    result.seconds = time.monotonic() - started
    return result


def scenario_image(seed):
    return bytes((seed * 37 + 11 * i) % 256 for i in range(128))


def run_cli_pair(args, exe, linux_cli, emulator, files, pace=False):
    """The same command through both programs; returns the Windows run."""
    outcomes = []
    for windows in (False, True):
        folder = tempfile.mkdtemp(prefix="qlr-e2e-")
        for name, (content, mode) in files.items():
            path = os.path.join(folder, name)
            with open(path, "wb") as f:
                f.write(content)
            os.chmod(path, mode)
        receiver = Receiver(emulator, folder, scenario_image(1), pace)
        port = windows_path(receiver.device) if windows else receiver.device
        program = ["wine", exe] if windows else [linux_cli]
        result = run(program + args, folder, port)
        memory = receiver.stop()
        text = [(t.replace("\r\n", "\n").replace(port, "DEVICE")) for t in (result.stdout, result.stderr)]
        written = {n: open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder))
                   if n not in files and n.endswith(".bin") and n not in ("initial.bin", "final.bin")}
        outcomes.append((result.returncode, text, receiver.commands(), memory, written, result.seconds))
        shutil.rmtree(folder)
    label = "qlr5500 " + " ".join(args)
    for part, name in enumerate(("exit status", "output", "commands and speeds", "memory", "files written")):
        check(outcomes[0][part] == outcomes[1][part], f"{label}: {name} differ: {outcomes[0][part]!r} "
              f"(Linux) vs {outcomes[1][part]!r} (Windows)")
    return outcomes[1]


def check_cli(exe, linux_cli, emulator, pace):
    image = scenario_image(1)
    other = scenario_image(2)
    read_only = 0o444
    cases = [
        (["ports"], {}),
        (["find"], {}),
        (["region"], {}),
        (["read", "backup.bin"], {}),
        (["compare", "same.bin"], {"same.bin": (image, 0o644)}),
        (["compare", "other.bin"], {"other.bin": (other, 0o644)}),
        (["write", "--yes", "other.bin"], {"other.bin": (other, 0o644)}),
        (["medium", "--yes"], {}),
        (["read", "locked.bin"], {"locked.bin": (other, read_only)}),
    ]
    for args, files in cases:
        status, _, commands, memory, written, _ = run_cli_pair(args, exe, linux_cli, emulator, files)
        if args[0] == "read" and not files:
            check(written.get("backup.bin") == image, "read: the file holds the receiver's bytes")
            reads = [text for _, text in commands if text.endswith("?")]
            check(reads == [f"LD0{a:02X}?" for a in range(128)], "read: each address once, in order")
        if args[0] == "write":
            check(memory == other, "write: the receiver holds the file's bytes")
            check(all(baud == "38400" for baud, text in commands if text.startswith("LD0")),
                  "write: every byte at 38400 baud")
        if files.get("locked.bin"):
            check(status == 4 and not commands, "read onto a read-only file: refused before the receiver is asked")
    if pace:
        measure(exe, linux_cli, emulator)


def measure(exe, linux_cli, emulator):
    # Every character at 11 bits plus two 20 ms pauses, as bench/wire_time.h counts them.
    def ideal(service_per_byte):
        return 30 * 11 / 9600 + (30 + 128 * service_per_byte) * 11 / 38400 + 0.040
    for args, files, per_byte in ((["read", "paced.bin"], {}, 17),
                                  (["write", "--yes", "paced.bin"], {"paced.bin": (scenario_image(3), 0o644)}, 32)):
        result = run_cli_pair(args, exe, linux_cli, emulator, files, pace=True)
        print(f"paced {args[0]}: qlr5500.exe {result[5]:.2f} s, ideal transfer {ideal(per_byte):.2f} s, "
              f"ratio {result[5] / ideal(per_byte):.2f} (whole program under Wine, scan included)")


def dos_attributes(path):
    try:
        return int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0], 16)
    except OSError:
        return 0


def check_snapshot(exe, emulator, uid):
    who = f"uid {uid}" if uid is not None else "root"
    base = tempfile.mkdtemp(prefix="qlr-snapshot-")
    folders = [os.path.join(base, name) for name in ("receiver", "work", "receiver-2")]
    for folder in [base] + folders:
        os.makedirs(folder, exist_ok=True)
        if uid is not None:
            os.chown(folder, uid, uid)
    receiver_folder, work, second_receiver = folders
    snapshot = os.path.join(work, "EEPROM$$.QLR")
    try:
        receiver = Receiver(emulator, receiver_folder, scenario_image(4), False, uid)
        port = windows_path(receiver.device)
        result = run(["wine", exe, "/SAVE"], work, port, uid)
        check(result.returncode == 0 and not result.stdout, f"/SAVE ({who}): silent, status 0")
        with open(snapshot, "rb") as f:
            check(f.read() == scenario_image(4), f"/SAVE ({who}): the snapshot holds the receiver's bytes")
        attributes = dos_attributes(snapshot)
        check(attributes & 0x2, f"/SAVE ({who}): the snapshot is hidden ({attributes:#x})")
        # Wine keeps read-only in the attribute, or for root in the mode alone.
        check(attributes & 0x1 or not os.stat(snapshot).st_mode & 0o222, f"/SAVE ({who}): the snapshot is read-only")
        before = len(receiver.commands())
        run(["wine", exe, "/save"], work, port, uid)
        check(len(receiver.commands()) == before, f"second /SAVE ({who}): no port touched")
        receiver.stop()
        print(f"/SAVE ({who}): {result.seconds:.2f} s, attributes {attributes:#x}")

        # The receiver goes away in the middle of the transfer: no file at all.
        os.chmod(snapshot, 0o644)
        os.remove(snapshot)
        receiver = Receiver(emulator, second_receiver, scenario_image(5), True, uid)
        save = subprocess.Popen(as_user(uid) + ["wine", exe, "/SAVE"], cwd=work,
                                env=dict(os.environ, QLR5500_PORTS=windows_path(receiver.device)))
        deadline = time.monotonic() + 30
        while sum(text.startswith("LD0") for _, text in receiver.commands()) < 20 and time.monotonic() < deadline:
            time.sleep(0.05)
        receiver.stop(signal.SIGKILL)
        save.wait(timeout=RUN_SECONDS)
        check(os.listdir(work) == [], f"failed /SAVE ({who}): nothing left behind: {os.listdir(work)}")
    finally:
        shutil.rmtree(base)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--emulator", required=True)
    parser.add_argument("--linux-cli", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--pace", action="store_true", help="also measure paced transfers")
    parser.add_argument("--unprivileged", type=int, help="run the snapshot checks as this uid only")
    args = parser.parse_args()
    args.emulator, args.linux_cli, args.build = map(os.path.abspath, (args.emulator, args.linux_cli, args.build))
    cli = os.path.join(args.build, "tools/cli/qlr5500.exe")
    app = os.path.join(args.build, "src/dialog_win32/SaveQLR5500.exe")
    if args.unprivileged is None:
        check_cli(cli, args.linux_cli, args.emulator, args.pace)
    check_snapshot(app, args.emulator, args.unprivileged)
    if failures:
        print(f"{len(failures)} check(s) failed", file=sys.stderr)
        return 1
    print("end to end under Wine: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
