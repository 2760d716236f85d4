#!/usr/bin/env python3
"""Start-up time and memory footprint of zirv2-devserver.

Usage: devserver/measure.py BUILD_DIR/devserver/zirv2-devserver

Starts the server with the default catalogue (and once with 100,000 records),
times how long it takes until it prints its addresses, then makes 1,000
catalogue reads of 500 records each on one kept-alive connection and prints
the resident memory after 100 and after 1,000 reads.
"""
import http.client, json, os, subprocess, sys, tempfile, time

SECRET = "kW7#pQ2!vLm9&Xz4@tYb8^Nc3*Hd6(Ej1)Fg5_Rs0+Ua2Mo"


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def start(binary, data, extra):
    began = time.monotonic()
    proc = subprocess.Popen([binary, "--data-dir", data, "--backend-port", "0", "--storage-port", "0"] + extra,
                            stdout=subprocess.PIPE, text=True)
    backend = None
    while True:
        line = proc.stdout.readline()
        if line.startswith("ZIRV_BACKEND_URL="):
            backend = line.strip().split("=", 1)[1]
        if line.startswith("ZIRV_B2_AUTH_URL="):
            break
    return proc, backend, time.monotonic() - began


def post(conn, path, body):
    conn.request("POST", path, json.dumps(body), {"Content-Type": "application/json"})
    return json.loads(conn.getresponse().read())


def main():
    binary = sys.argv[1]
    with tempfile.TemporaryDirectory() as data:
        proc, url, ready = start(binary, data + "/big", ["--catalogue-size", "100000"])
        print(f"start-up with 100,000 records: {ready * 1000:.0f} ms")
        proc.terminate(); proc.wait()

        proc, url, ready = start(binary, data + "/default", [])
        print(f"start-up with the default catalogue: {ready * 1000:.0f} ms")
        host, port = url.removeprefix("http://").split(":")
        conn = http.client.HTTPConnection(host, int(port))
        created = post(conn, "/api/zirvAccountCreate", {
            "securityToken": SECRET, "securityEmail": "bench@example.org", "securityPassword": "pw",
            "userRegionCode": "GB", "userLanguageCode": "en"})
        token = created["security"]["accessToken"]
        request = {"currentSecurity": {"accessToken": token},
                   "currentChanges": [{"syncIdentifier": t, "updateRecord": 0}
                                      for t in (1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 17, 18, 19)]}
        began = time.monotonic()
        for i in range(1, 1001):
            answer = post(conn, "/api/zirvDefinedStructureChangesRead", request)
            assert answer["status"]["dataRecordsReturned"] == 500
            if i == 100:
                after100 = rss_kib(proc.pid)
        elapsed = time.monotonic() - began
        after1000 = rss_kib(proc.pid)
        print(f"1,000 catalogue reads of 500 records: {elapsed:.2f} s ({elapsed:.2f} ms per read)")
        print(f"resident memory after 100 reads: {after100} KiB; after 1,000 reads: {after1000} KiB")
        conn.close()
        proc.terminate(); proc.wait()


if __name__ == "__main__":
    main()
