#!/usr/bin/env python3
"""Serves a folder with nginx on a loopback port, as an ordinary process (no daemon, no system
configuration touched): a temporary prefix folder holds the configuration, pid file, logs and
nginx's temp folders, and is removed when the server stops.

Command line:
  serve_folder.py start FOLDER [--port N] [--gzip]   prints the base address and the state folder
  serve_folder.py stop STATE_FOLDER                  stops that server and removes its state
  serve_folder.py run FOLDER [--port N] [--gzip]     serves until interrupted (Ctrl-C)

From Python (another benchmark):
  from serve_folder import NginxServer
  with NginxServer("/tmp/site500") as server:
      print(server.url)   # http://127.0.0.1:PORT/

Answers are plain (no compression) unless --gzip; keep-alive is on, as on real sites.
"""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

NGINX = shutil.which("nginx") or "/usr/sbin/nginx"

CONFIG = """# Written by serve_folder.py; removed when the server stops.
{user}worker_processes 1;
pid {prefix}/nginx.pid;
error_log {prefix}/error.log warn;
events {{ worker_connections 256; }}
http {{
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 65;
    keepalive_requests 100000;
    client_body_temp_path {prefix}/client_body;
    proxy_temp_path {prefix}/proxy;
    fastcgi_temp_path {prefix}/fastcgi;
    uwsgi_temp_path {prefix}/uwsgi;
    scgi_temp_path {prefix}/scgi;
    charset utf-8;
    charset_types text/html text/css application/javascript text/plain;
    gzip {gzip};
    gzip_types text/css application/javascript text/plain;
    server {{
        listen 127.0.0.1:{port};
        server_name localhost;
        root {root};
        index index.html;
    }}
}}
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, proc, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if proc is not None and proc.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            time.sleep(0.05)
    return False


class NginxServer:
    """One nginx serving `folder` on 127.0.0.1; start() and stop(), or use it in a with block."""

    def __init__(self, folder, port=None, gzip=False):
        self.folder = os.path.abspath(folder)
        self.port = port or free_port()
        self.gzip = gzip
        self.prefix = None
        self.proc = None

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}/"

    def start(self, detach=False):
        if not os.path.isdir(self.folder):
            raise RuntimeError(f"not a folder: {self.folder}")
        self.prefix = tempfile.mkdtemp(prefix="vm_nginx_")
        # As root, nginx's workers would switch to "nobody", who may not read the folder.
        user = "user root;\n" if os.geteuid() == 0 else ""
        with open(os.path.join(self.prefix, "nginx.conf"), "w") as f:
            f.write(CONFIG.format(user=user, prefix=self.prefix, port=self.port,
                                  root=self.folder, gzip="on" if self.gzip else "off"))
        args = [NGINX, "-p", self.prefix, "-e", os.path.join(self.prefix, "error.log"),
                "-c", os.path.join(self.prefix, "nginx.conf"), "-g", "daemon off;"]
        # Output goes to a file: with `start`, this process exits while nginx keeps running.
        stderr_path = os.path.join(self.prefix, "stderr.log")
        with open(stderr_path, "wb") as stderr:
            self.proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=stderr,
                                         stderr=stderr, start_new_session=detach)
        if not wait_listening(self.port, self.proc):
            with open(stderr_path, errors="replace") as f:
                err = f.read()
            self.stop()
            raise RuntimeError(f"nginx did not start on port {self.port}: {err}")
        with open(os.path.join(self.prefix, "port"), "w") as f:
            f.write(str(self.port))
        return self

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGQUIT)  # graceful: finish answers, then exit
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None
        if self.prefix:
            shutil.rmtree(self.prefix, ignore_errors=True)
            self.prefix = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def stop_state(state):
    """Stops a server started by `start` (in another process) from its state folder."""
    pid_file = os.path.join(state, "nginx.pid")
    if not os.path.exists(pid_file):
        sys.exit(f"no nginx.pid in {state}")
    pid = int(open(pid_file).read().strip())
    os.kill(pid, signal.SIGQUIT)
    for _ in range(200):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            break
        time.sleep(0.05)
    shutil.rmtree(state, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = ap.add_subparsers(dest="cmd", required=True)
    for name in ("start", "run"):
        p = sub.add_parser(name)
        p.add_argument("folder")
        p.add_argument("--port", type=int)
        p.add_argument("--gzip", action="store_true", help="compress text answers")
    p = sub.add_parser("stop")
    p.add_argument("state")
    args = ap.parse_args()
    if args.cmd == "stop":
        stop_state(args.state)
        return
    server = NginxServer(args.folder, args.port, args.gzip)
    try:
        server.start(detach=args.cmd == "start")
    except RuntimeError as e:
        sys.exit(str(e))
    if args.cmd == "start":
        print(server.url)
        print(server.prefix)
        return  # nginx keeps running in its own session; `stop` ends it
    print(f"serving {server.folder} at {server.url} (Ctrl-C stops)")
    try:
        server.proc.wait()
    except KeyboardInterrupt:
        pass
    finally:
        server.stop()


if __name__ == "__main__":
    main()
