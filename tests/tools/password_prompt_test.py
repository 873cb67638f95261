#!/usr/bin/python3
"""--password-stdin at a terminal: ^C, SIGTERM or SIGHUP at the prompt ends tabrix as the signal
would, and leaves the terminal echoing as it found it; nothing is written.

    password_prompt_test.py TABRIX SCRATCH
"""
import fcntl
import os
import select
import signal
import subprocess
import sys
import termios
import time

tabrix, scratch = sys.argv[1], sys.argv[2]
os.makedirs(scratch, exist_ok=True)
with open(os.path.join(scratch, "odbcinst.ini"), "w") as f:
    f.write("[Microsoft Excel Driver (*.xls)]\nDriver = /opt/odbc/lib/excel.so\n")
user_file = os.path.join(scratch, "odbc.user.ini")
failures = []


def prompt_then(how):
    master, slave = os.openpty()

    def own_terminal():
        os.setsid()
        fcntl.ioctl(0, termios.TIOCSCTTY, 0)

    child = subprocess.Popen(
        [tabrix, "create", "Secret", "--user", "--workbook", "/x.xls", "--password-stdin",
         "--config-dir", scratch],
        stdin=slave, stdout=slave, stderr=slave, preexec_fn=own_terminal)
    seen = b""
    while b"Password: " not in seen:  # the prompt comes after echo is off
        ready, _, _ = select.select([master], [], [], 30)
        if not ready:
            failures.append("%s: no prompt, saw %r" % (how, seen))
            child.kill()
            child.wait()
            return
        seen += os.read(master, 1024)
    echo_at_prompt = termios.tcgetattr(slave)[3] & termios.ECHO
    if how == "^C":
        os.write(master, b"\x03")  # the terminal's interrupt character: SIGINT to tabrix
        expected = signal.SIGINT
    else:
        expected = signal.SIGTERM if how == "SIGTERM" else signal.SIGHUP
        child.send_signal(expected)
    status = child.wait()
    echo_after = termios.tcgetattr(slave)[3] & termios.ECHO
    os.close(master)
    os.close(slave)
    if echo_at_prompt:
        failures.append("%s: echo was on at the prompt" % how)
    if not echo_after:
        failures.append("%s: the terminal was left without echo" % how)
    if status != -expected:
        failures.append("%s: tabrix ended with %d, not by the signal" % (how, status))
    if os.path.exists(user_file):
        failures.append("%s: %s was written" % (how, user_file))


for how in ("^C", "SIGTERM", "SIGHUP"):
    prompt_then(how)
for failure in failures:
    print("FAILED: " + failure)
print("password prompt: %d of 3 held" % (3 - len({f.split(":")[0] for f in failures})))
sys.exit(1 if failures else 0)
