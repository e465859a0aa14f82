"""Running one solver process under a CPU limit and measuring it.

run_limited starts a command with its output into a log file, arms the CPU
limit in the child, keeps a wall-clock safety net, and takes the solver's
own CPU time and peak memory from its rusage. It knows nothing about SAT:
what the output means is decided elsewhere (peers, results).
"""

import ctypes
import math
import os
import resource
import signal
import subprocess
import sys
import threading
import time

# The kernel's CPU-limit accounting is tick-based and, on a loaded machine,
# runs several per cent ahead of the user+sys time that rusage reports; a
# soft limit at the plain limit has been seen to fire at 55-58 rusage
# seconds for 60. So RLIMIT_CPU is armed at limit * CPU_SLACK + CPU_GRACE_S
# (soft, SIGXCPU, which a solver may catch to print its statistics) and
# CPU_HARD_EXTRA_S later (hard, SIGKILL). A solver with its own timer stops
# by itself at the limit. Whatever the signal, a run counts as solved only
# when its rusage CPU time is within the limit itself.
CPU_SLACK = 1.1
CPU_GRACE_S = 1
CPU_HARD_EXTRA_S = 5


_subreaper_lock = threading.Lock()
_subreaper_state = None


def _become_subreaper():
    """Make this process the reaper of its orphaned descendants (Linux).

    Each solver is started by a short-lived /bin/sh that forks it and exits,
    so the solver is not a copy of this Python process: ru_maxrss
    of a forked child never drops below its parent's resident size at the
    fork, which would put a floor of this runner's RSS under every
    measurement. As subreaper we still become the solver's parent and wait
    for it ourselves. Returns False where this is not available.
    """
    global _subreaper_state
    with _subreaper_lock:
        if _subreaper_state is None:
            ok = False
            if sys.platform.startswith("linux"):
                try:
                    libc = ctypes.CDLL(None, use_errno=True)
                    PR_SET_CHILD_SUBREAPER = 36
                    ok = libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0
                except (OSError, AttributeError):
                    ok = False
            _subreaper_state = ok
        return _subreaper_state


def _limit_cpu(limit):
    soft = int(math.ceil(limit * CPU_SLACK)) + CPU_GRACE_S
    hard = soft + CPU_HARD_EXTRA_S

    def arm():
        resource.setrlimit(resource.RLIMIT_CPU, (soft, hard))
        # A core dump of a solver killed at the limit is of no use here.
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    return arm


def wall_timeout(limit):
    """The wall-clock safety net for a CPU limit. The CPU limit stops every
    busy solver; this only catches one that hangs without using CPU, so it is
    generous enough for a heavily shared machine."""
    return 10.0 * limit + 60.0


class RunResult:
    def __init__(self):
        self.exit_status = None     # exit code, or -signal number
        self.cpu_s = None
        self.wall_s = None
        self.max_rss_kib = None
        self.output = ""
        self.note = ""


def describe_status(status):
    if status is None:
        return "not started"
    if status < 0:
        try:
            return "killed by " + signal.Signals(-status).name
        except ValueError:
            return "killed by signal %d" % -status
    return "exit status %d" % status


def _kill_group(group):
    try:
        os.killpg(group, signal.SIGKILL)
    except ProcessLookupError:
        pass


def run_limited(cmd, limit, log_path, wall_limit=None):
    """Run cmd with stdout and stderr into log_path under a CPU limit of
    limit seconds and a wall-clock safety timeout. Measures the child's
    user+sys CPU time and peak RSS from its own rusage."""
    result = RunResult()
    wall_limit = wall_timeout(limit) if wall_limit is None else wall_limit
    indirect = _become_subreaper()
    start = time.monotonic()
    with open(log_path, "wb") as log:
        if indirect:
            # sh forks a subshell that waits for "go" on one pipe, reports
            # the subshell's pid on another, and exits. Only once sh is gone
            # does the subshell exec the solver: sh can then never reap it,
            # and it is reparented to us.
            pid_r, pid_w = os.pipe()
            go_r, go_w = os.pipe()
            script = ('{ read _ <&%(g)d; exec "$@" %(g)d<&-; } %(p)d>&- & echo $! >&%(p)d'
                      % {"g": go_r, "p": pid_w})
            try:
                sh = subprocess.Popen(["/bin/sh", "-c", script, "sh"] + list(cmd),
                                      stdin=subprocess.DEVNULL, stdout=log,
                                      stderr=subprocess.STDOUT, pass_fds=(pid_w, go_r),
                                      preexec_fn=_limit_cpu(limit), start_new_session=True)
            finally:
                os.close(pid_w)
                os.close(go_r)
            with os.fdopen(pid_r, "rb") as pid_pipe:
                text = pid_pipe.read().decode().strip()
            sh.wait()
            with os.fdopen(go_w, "wb") as go:
                try:
                    go.write(b"go\n")
                except BrokenPipeError:
                    pass
            if not text.isdigit():
                result.note = "could not start the solver"
                return result
            pid, group = int(text), sh.pid
        else:
            proc = subprocess.Popen(list(cmd), stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT,
                                    preexec_fn=_limit_cpu(limit), start_new_session=True)
            pid, group = proc.pid, proc.pid
        killed_for_time = False
        try:
            while True:
                done, status, usage = os.wait4(pid, os.WNOHANG)
                if done == pid:
                    break
                if not killed_for_time and time.monotonic() - start > wall_limit:
                    killed_for_time = True
                    _kill_group(group)
                time.sleep(0.02)
        except BaseException:
            # Interrupted: take the solver down with us.
            _kill_group(group)
            os.waitpid(pid, 0)
            raise
        if not indirect:
            proc.returncode = os.waitstatus_to_exitcode(status)
    result.wall_s = time.monotonic() - start
    result.exit_status = os.waitstatus_to_exitcode(status)
    result.cpu_s = usage.ru_utime + usage.ru_stime
    result.max_rss_kib = usage.ru_maxrss
    with open(log_path, "rb") as log:
        result.output = log.read().decode("utf-8", errors="replace")
    if killed_for_time:
        result.note = "killed after %.0f s wall clock" % wall_limit
    elif result.exit_status < 0:
        result.note = describe_status(result.exit_status)
    return result
