#!/usr/bin/env python3
"""The Windows programs under Wine against the Linux emulator on a pty.

qlr5500.exe runs each command beside the Linux qlr5500, each against a fresh
emulated receiver with the same memory: exit status, output, the commands
and speeds the receiver saw and its memory afterwards must be the same, and
the files they write must hold the receiver's bytes, also under names that
no ANSI code page holds; so must a trace, which holds every command the
receiver heard. A write, the history, an undo and a compare must
give the original back, with the backups in the known folder and in one
named so that no ANSI code page holds it; a write that fails after Ctrl-C
must still say so, with its undo. qlr5500.exe doctor must find an
FTDI adapter's latency timer in the registry, and slow answers, and read
Windows' device list, which holds no adapter under Wine, without failing.
SaveQLR5500.exe /SAVE must leave a snapshot that is hidden and read-only and
nothing else, touch no port a second time, and leave no file when the
transfer fails. With --unprivileged the snapshot runs as that user (Wine lets
root write read-only files).

  end_to_end.py --emulator E --linux-cli Q --build DIR [--pace] [--unprivileged UID]

Wine's settings (WINEPREFIX, WINEDEBUG, ...) come from the environment, with
a persistent wineserver already running for the user.
"""
import argparse
import os
import re
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

    def __init__(self, emulator, folder, image, pace=False, uid=None, options=()):
        self.folder = folder
        with open(os.path.join(folder, "initial.bin"), "wb") as f:
            f.write(image)
        self.log = open(os.path.join(folder, "emulator.log"), "w+")
        command = as_user(uid) + [emulator, "--image", "initial.bin", "--region", str(REGION), "--verbose",
                                  "--save-on-exit", "final.bin"] + (["--pace"] if pace else []) + list(options)
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
    # A UTF-8 locale, as a user's desktop has: Wine reads the command line in it.
    environment = dict(os.environ, QLR5500_PORTS=ports, LC_ALL="C.UTF-8", **(env or {}))
    started = time.monotonic()
    # Output goes to files, as with "> out.txt", and must be UTF-8 there.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run(as_user(uid) + command, cwd=cwd, env=environment, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=err, timeout=RUN_SECONDS)
        for name, stream in (("stdout", out), ("stderr", err)):
            stream.seek(0)
            setattr(result, name, stream.read().decode("utf-8", errors="backslashreplace"))
    result.seconds = time.monotonic() - started
    return result


def scenario_image(seed):
    return bytes((seed * 37 + 11 * i) % 256 for i in range(128))


def z_drive_port(device):
    """QLR5500_PORTS for the pty as Wine's drive Z: names it, and the device the program then shows."""
    return windows_path(device), windows_path(device)


COM_PORT = 12  # from COM10 on, only the device namespace reaches a COM port


def com_port(device):
    """The pty as Wine's COM12: a link in the prefix's dosdevices, which Wine follows at each open (its
    server rewrites the COM links only when it starts)."""
    link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", f"com{COM_PORT}")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(device, link)
    return f"COM{COM_PORT}", rf"\\.\COM{COM_PORT}"


def run_cli_pair(args, exe, linux_cli, emulator, files, pace=False, folder_name="", windows_port=z_drive_port):
    """The same command through both programs, in `folder_name` inside a new folder; returns the Windows
    run, with the image files the folder holds afterwards."""
    outcomes = []
    for windows in (False, True):
        base = tempfile.mkdtemp(prefix="qlr-e2e-")
        folder = os.path.join(base, folder_name)
        os.makedirs(folder, exist_ok=True)
        for name, (content, mode) in files.items():
            path = os.path.join(folder, name)
            with open(path, "wb") as f:
                f.write(content)
            os.chmod(path, mode)
        receiver = Receiver(emulator, base, scenario_image(1), pace)
        port, shown = windows_port(receiver.device) if windows else (receiver.device, receiver.device)
        program = ["wine", exe] if windows else [linux_cli]
        # Wine keeps its backups in the prefix's known folder; Linux here.
        result = run(program + args, folder, port, env={"XDG_DATA_HOME": os.path.join(base, "data")})
        memory = receiver.stop()
        text = [BACKUP_LINE.sub("BACKUP", t.replace("\r\n", "\n").replace(shown, "DEVICE"))
                for t in (result.stdout, result.stderr)]
        images = {n: open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder))
                  if n.endswith(".bin") and n not in ("initial.bin", "final.bin")}
        outcomes.append((result.returncode, text, receiver.commands(), memory, images, result.seconds))
        shutil.rmtree(base)
    label = "qlr5500 " + " ".join(args)
    for part, name in enumerate(("exit status", "output", "commands and speeds", "memory", "image files")):
        check(outcomes[0][part] == outcomes[1][part], f"{label}: {name} differ: {outcomes[0][part]!r} "
              f"(Linux) vs {outcomes[1][part]!r} (Windows)")
    return outcomes[1]


BACKUP_LINE = re.compile(r"backup of the values before: .*")


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
        (["write", "--yes", "--no-backup", "other.bin"], {"other.bin": (other, 0o644)}),
        (["medium", "--yes"], {}),
        (["read", "locked.bin"], {"locked.bin": (other, read_only)}),
    ]
    for args, files in cases:
        status, _, commands, memory, images, _ = run_cli_pair(args, exe, linux_cli, emulator, files)
        if args[0] == "read" and not files:
            check(images.get("backup.bin") == image, "read: the file holds the receiver's bytes")
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
    # Every character at 11 bits plus two 20 ms pauses, as src/link/wire_time.h counts them.
    def ideal(service_per_byte):
        return 30 * 11 / 9600 + (30 + 128 * service_per_byte) * 11 / 38400 + 0.040
    paced = {"paced.bin": (scenario_image(3), 0o644)}
    # A write with its backup reads first: the ideal of both transfers.
    for args, files, transfer in ((["read", "paced.bin"], {}, ideal(17)),
                                  (["write", "--yes", "--no-backup", "paced.bin"], paced, ideal(32)),
                                  (["write", "--yes", "paced.bin"], paced, ideal(17) + ideal(32))):
        result = run_cli_pair(args, exe, linux_cli, emulator, files, pace=True)
        print(f"paced {' '.join(args[:-1])}: qlr5500.exe {result[5]:.2f} s, ideal transfer {transfer:.2f} s, "
              f"ratio {result[5] / transfer:.2f} (whole program under Wine, scan included)")


WIDE_FOLDER = "Größe Папка 文件夹"
WIDE_NAME = "Sicherung März Ключ 测试.bin"
OTHER_WIDE_NAME = "Ärger Другой 其他.bin"


def check_wide_names(exe, linux_cli, emulator):
    """File names no ANSI code page holds, in a folder named so too, the receiver behind COM12 in
    QLR5500_PORTS: the same outcome as on Linux, and the files under exactly those names."""
    image, other = scenario_image(1), scenario_image(2)
    cases = [  # arguments, exit status, the folder's image files before and after
        (["read", WIDE_NAME], 0, {}, {WIDE_NAME: image}),
        (["compare", WIDE_NAME], 0, {WIDE_NAME: image}, {WIDE_NAME: image}),
        (["write", "--yes", WIDE_NAME], 0, {WIDE_NAME: other}, {WIDE_NAME: other}),
        (["dump", WIDE_NAME], 0, {WIDE_NAME: other}, {WIDE_NAME: other}),
        (["diff", WIDE_NAME, OTHER_WIDE_NAME], 1, {WIDE_NAME: image, OTHER_WIDE_NAME: other},
         {WIDE_NAME: image, OTHER_WIDE_NAME: other}),
    ]
    for args, expected_status, before, after in cases:
        files = {name: (content, 0o644) for name, content in before.items()}
        status, text, _, memory, images, _ = run_cli_pair(args, exe, linux_cli, emulator, files,
                                                          folder_name=WIDE_FOLDER, windows_port=com_port)
        label = f"qlr5500.exe {args[0]} in {WIDE_FOLDER}"
        check(status == expected_status, f"{label}: exit status {status}: {text}")
        check(images == after, f"{label}: the image files afterwards: {sorted(images)}")
        if args[0] == "write":
            check(memory == other, f"{label}: the receiver holds the file's bytes")


WIDE_TRACE = "Spur März Трасса 跟踪.txt"


def check_trace(exe, emulator):
    """read --trace into a file no ANSI code page can name: every command the receiver heard is in the trace, in
    order, at the speed it heard it."""
    base = tempfile.mkdtemp(prefix="qlr-trace-")
    receiver = Receiver(emulator, base, scenario_image(1))
    try:
        port = windows_path(receiver.device)
        result = run(["wine", exe, "read", "--port", port, "--trace", WIDE_TRACE, "traced.bin"], base, port)
        trace = os.path.join(base, WIDE_TRACE)
        lines = open(trace, encoding="utf-8").read().splitlines() if os.path.exists(trace) else []
    finally:
        heard = receiver.commands()
        receiver.stop()
        shutil.rmtree(base)
    # "    21.860 ms   9600 8N2  > H101": (speed, command)
    sent = [(fields[2], fields[5]) for fields in map(str.split, lines) if len(fields) == 6 and fields[4] == ">"]
    check(result.returncode == 0 and heard and sent == heard,
          f"qlr5500.exe read --trace: exit status {result.returncode}, sent {sent!r}, heard {heard!r}")
    print("qlr5500.exe read --trace:", *lines[:1], *[line for line in lines[1:] if " > " not in line and " < " not in line],
          sep="\n  ")


FTDI_BUS = r"HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS"
FTDI_INSTANCE = r"VID_0403+PID_6001+QLR0001A\0000"


def check_doctor(exe, emulator):
    """The receiver behind COM12, which the registry says is an FTDI adapter with a 16 ms latency timer: the doctor
    names the timer and where Device Manager changes it (exit status 1); answers held back 16 ms on a paced line are
    slow, and a read after them says so."""
    parameters = rf"{FTDI_BUS}\{FTDI_INSTANCE}\Device Parameters"
    for name, kind, data in (("PortName", "REG_SZ", f"COM{COM_PORT}"), ("LatencyTimer", "REG_DWORD", "16")):
        subprocess.run(["wine", "reg", "add", parameters, "/v", name, "/t", kind, "/d", data, "/f"], check=True,
                       capture_output=True)
    try:
        for options, answer_time in (([], "ok       answer time: "), (["--pace", "--answer-delay", "16"],
                                                                       "problem  answer time: ")):
            base = tempfile.mkdtemp(prefix="qlr-doctor-")
            receiver = Receiver(emulator, base, scenario_image(1), options=options)
            try:
                port, shown = com_port(receiver.device)
                doctor = run(["wine", exe, "doctor"], base, port)
                read = run(["wine", exe, "read", "--port", port, "slow.bin"], base, port) if options else None
            finally:
                receiver.stop()
                shutil.rmtree(base)
            out = doctor.stdout.replace("\r\n", "\n")
            label = "qlr5500.exe doctor" + (" " + " ".join(options) if options else "")
            check(doctor.returncode == 1, f"{label}: exit status {doctor.returncode}: {out}")
            for expected in (f"ok       port 1 {shown}: the receiver answers, region {REGION} ",
                             f"problem  port 1 {shown}: FTDI adapter FTDIBUS\\{FTDI_INSTANCE}, latency timer 16 ms",
                             f"fix: Device Manager → Ports (COM & LPT) → the adapter on COM{COM_PORT} → Properties",
                             "→ Port Settings → Advanced → Latency Timer (msec): 1", answer_time,
                             # The real device list, read through SetupAPI and the configuration manager.
                             "ok       no USB serial adapter and nothing in Ports (COM & LPT) among the present devices"):
                check(expected in out, f"{label}: {expected!r} is not in {out!r}")
            if read:
                check(read.returncode == 0 and "'qlr5500 doctor' tells why" in read.stderr,
                      f"qlr5500.exe read on slow answers: the hint is not in {read.stderr!r}")
            print(f"{label}: {[line for line in out.splitlines() if 'answer time' in line]}")
    finally:
        subprocess.run(["wine", "reg", "delete", FTDI_BUS, "/f"], capture_output=True)


def check_backups(exe, emulator):
    """write, history, undo and compare under Wine against one receiver: the original comes back, only the
    differing bytes are written, and a backup folder no ANSI code page can name serves as well."""
    base = tempfile.mkdtemp(prefix="qlr-backups-")
    original = scenario_image(6)
    changed = bytearray(original)
    for address in (0x05, 0x42, 0x7F):
        changed[address] ^= 0x81
    for name, content in (("original.bin", original), ("changed.bin", bytes(changed))):
        with open(os.path.join(base, name), "wb") as f:
            f.write(content)
    receiver = Receiver(emulator, base, original)
    port = windows_path(receiver.device)
    wide = windows_path(os.path.join(base, WIDE_FOLDER, "backups"))
    steps = [  # arguments, exit status, what the output holds
        (["write", "--yes", "changed.bin"], 0, "3 bytes changed and read back, the other 125 as read just before"),
        (["history", "--porcelain"], 0, "\twrite\t"),
        # Earlier checks of this run wrote into the same default folder: the numbers go on from theirs.
        (["undo", "--yes"], 0, "from before change "),
        (["compare", "original.bin"], 0, "is identical to original.bin"),
        (["history"], 0, "undo of change "),
        (["write", "--yes", "--backup-dir", wide, "changed.bin"], 0, "backups\\" + "2"),
        (["history", "--porcelain", "--backup-dir", wide], 0, "\tdone\t"),
    ]
    try:
        for args, status, expected in steps:
            result = run(["wine", exe] + args, base, port)
            check(result.returncode == status and expected in result.stdout,
                  f"qlr5500.exe {' '.join(args)}: {result.returncode}: {result.stdout!r} {result.stderr!r}")
        writes = [text for _, text in receiver.commands() if text.startswith("LD0") and not text.endswith("?")]
        check(len(writes) == 9, f"backups: 3 bytes written each time, not {len(writes)}")
        check(len(os.listdir(os.path.join(base, WIDE_FOLDER, "backups"))) == 2,
              "backups: a backup and the history in the folder named with --backup-dir")
        check(receiver.stop() == bytes(changed), "backups: the receiver holds the last write")
    finally:
        receiver.stop()
        shutil.rmtree(base)


def check_interrupted_write(exe, emulator):
    """Ctrl-C (Wine makes one of SIGINT) during a write that then fails, the receiver gone: the write still
    says how far it got and which undo reverts it, and only then ends as Ctrl-C ends a program."""
    base = tempfile.mkdtemp(prefix="qlr-interrupt-")
    with open(os.path.join(base, "changed.bin"), "wb") as f:
        f.write(scenario_image(8))  # every byte differs from the receiver's
    receiver = Receiver(emulator, base, scenario_image(7), pace=True)

    def writes():
        return sum(text.startswith("LD0") and not text.endswith("?") for _, text in receiver.commands())

    try:
        environment = dict(os.environ, QLR5500_PORTS=windows_path(receiver.device), LC_ALL="C.UTF-8")
        with tempfile.TemporaryFile() as err:
            writer = subprocess.Popen(["wine", exe, "write", "--yes", "changed.bin"], cwd=base, env=environment,
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
            deadline = time.monotonic() + RUN_SECONDS
            while writes() < 5 and time.monotonic() < deadline:
                time.sleep(0.05)
            writer.send_signal(signal.SIGINT)
            while writes() < 15 and time.monotonic() < deadline:
                time.sleep(0.05)
            receiver.stop(signal.SIGKILL)
            status = writer.wait(timeout=RUN_SECONDS)
            err.seek(0)
            said = err.read().decode("utf-8", errors="backslashreplace")
        # Windows ends a program on Ctrl-C with 0xC000013A; a Unix parent sees its low byte.
        check(status == 0xC000013A & 0xFF, f"interrupted write: status {status}, not that of Ctrl-C")
        for text in ("letting the transfer finish", "the EEPROM is partly written", "'qlr5500 undo "):
            check(text in said, f"interrupted write: {text!r} not in {said!r}")
    finally:
        receiver.stop(signal.SIGKILL)
        shutil.rmtree(base)


def dos_attributes(path):
    try:
        return int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0], 16)
    except OSError:
        return 0


def attrib(path, uid):
    """The attribute letters that Windows' attrib shows for a file."""
    name = windows_path(path)
    return run(["wine", "attrib", name], os.path.dirname(path), "", uid).stdout.split(name)[0].strip()


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
        # Wine keeps hidden and system in an extended attribute, read-only in the mode alone.
        attributes, mode = dos_attributes(snapshot), os.stat(snapshot).st_mode
        check(attributes == 0x2 and not mode & 0o222,
              f"/SAVE ({who}): the snapshot is hidden and read-only, nothing else ({attributes:#x}, {mode:o})")
        # attrib also shows the archive bit, which Wine reports for every file and cannot clear.
        plain = os.path.join(base, "plain.bin")
        open(plain, "wb").close()
        shown, plain_shown = attrib(snapshot, uid), attrib(plain, uid)
        check(set(shown) - {" "} == set(plain_shown) - {" "} | {"H", "R"},
              f"/SAVE ({who}): attrib shows {shown!r}, a plain file {plain_shown!r}")
        before = len(receiver.commands())
        run(["wine", exe, "/save"], work, port, uid)
        check(len(receiver.commands()) == before, f"second /SAVE ({who}): no port touched")
        receiver.stop()
        print(f"/SAVE ({who}): {result.seconds:.2f} s, attrib shows {shown!r}")

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
        check_wide_names(cli, args.linux_cli, args.emulator)
        check_trace(cli, args.emulator)
        check_doctor(cli, args.emulator)
        check_backups(cli, args.emulator)
        check_interrupted_write(cli, args.emulator)
    check_snapshot(app, args.emulator, args.unprivileged)
    if failures:
        print(f"{len(failures)} check(s) failed", file=sys.stderr)
        return 1
    print("end to end under Wine: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
