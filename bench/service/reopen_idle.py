#!/usr/bin/env python3
"""CPU of `dialvane --service` while its port cannot be opened and is tried again.

    bench/service/reopen_idle.py BUILD_DIR REOPEN_SECONDS
"""
import os, socket, subprocess, tempfile, time, sys
build = sys.argv[1]; reopen = sys.argv[2]
root = tempfile.mkdtemp()
squat = socket.socket(); squat.bind(("127.0.0.1", 0)); squat.listen(); port = squat.getsockname()[1]
os.makedirs(f"{root}/B"); 
open(f"{root}/Dialvane.ini","w").write(f"[Path]\nBackroomPath={root}/B/\nLogPath={root}/B/\n[Communication]\nReopenSeconds={reopen}\n[Ports]\nCOM1=tcp:127.0.0.1:{port}\n")
p = subprocess.Popen([f"{build}/dialvane","--service","--config-dir",root], stderr=subprocess.DEVNULL, env=dict(os.environ, XDG_CONFIG_HOME=root))
time.sleep(1)
def cpu():
    f = open(f"/proc/{p.pid}/stat").read().rsplit(")",1)[1].split(); return (int(f[11])+int(f[12]))/os.sysconf("SC_CLK_TCK")
c0=cpu(); t0=time.time(); time.sleep(30); c=cpu()-c0; w=time.time()-t0
print(f"port failing, ReopenSeconds={reopen}: CPU {c:.2f} s over {w:.0f} s = {100*c/w:.3f}% of one core")
p.terminate(); p.wait()
