#!/usr/bin/env python3
"""Writes resources/data/tld-servers.tsv afresh from IANA's published data.

    tools/make_tld_table.py                      # all from IANA, into resources/data/tld-servers.tsv
    tools/make_tld_table.py -o /tmp/new.tsv      # elsewhere, to compare before replacing

Columns (tab-separated, '-' where there is nothing): tld, port-43 whois server, RDAP base URL,
registry web lookup page. Sources:
  - the TLDs: IANA's list, https://data.iana.org/TLD/tlds-alpha-by-domain.txt (--tld-list);
  - whois: the "whois:" line of each TLD's record at whois.iana.org port 43 (--iana-whois),
    one query per TLD, --pace seconds apart (1400-odd TLDs at 0.2 s: about five minutes);
  - rdap: the first https URL (http only when there is none) of the service in IANA's RDAP
    bootstrap file https://data.iana.org/rdap/dns.json (--dns-json) that lists the TLD;
  - web: IANA has none, so the column is kept from an existing table (--web-from, by default the
    project's own), together with that table's "# web:" header line, which names its source.
--tld-list and --dns-json take a URL or a file name, --iana-whois a HOST[:PORT], so the script
can run against local copies and a stand-in server. Standard library only. The output is written
to a temporary file and renamed, so a failed run leaves the old table as it was.
"""
import argparse
import datetime
import json
import os
import re
import socket
import sys
import tempfile
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TABLE = os.path.join(ROOT, "resources", "data", "tld-servers.tsv")
TLD_LIST = "https://data.iana.org/TLD/tlds-alpha-by-domain.txt"
DNS_JSON = "https://data.iana.org/rdap/dns.json"
IANA_WHOIS = "whois.iana.org"
COLUMNS = "# tld\twhois-server-or-dash\trdap-base-url-or-dash\tweb-url-or-dash"


def read_source(where, timeout):
    """The bytes of a URL or a local file."""
    if re.match(r"^[a-z]+://", where):
        with urllib.request.urlopen(where, timeout=timeout) as response:
            return response.read()
    with open(where, "rb") as f:
        return f.read()


def read_tld_list(where, timeout):
    """(version line, lower-case TLDs) from IANA's list: a '#' version line, then one TLD a line."""
    version = ""
    tlds = []
    for line in read_source(where, timeout).decode("ascii").splitlines():
        line = line.strip()
        if line.startswith("#"):
            version = version or line.lstrip("# ")
        elif line:
            tlds.append(line.lower())
    if not tlds:
        sys.exit("make_tld_table: no TLDs in " + where)
    return version, sorted(set(tlds))


def read_rdap(where, timeout):
    """(publication, {tld: base URL}) from an RDAP bootstrap file for DNS (RFC 9224)."""
    bootstrap = json.loads(read_source(where, timeout))
    rdap = {}
    for entries, urls in bootstrap["services"]:
        secure = [u for u in urls if u.lower().startswith("https://")]
        plain = [u for u in urls if u.lower().startswith("http://")]
        chosen = (secure or plain or [None])[0]
        if chosen:
            for tld in entries:
                rdap.setdefault(tld.lower(), chosen)
    return bootstrap.get("publication", "unknown"), rdap


def read_web(path):
    """({tld: web page}, the table's '# web:' header line or None) from an existing table."""
    web, header = {}, None
    if not path or not os.path.exists(path):
        return web, header
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line.startswith("# web:"):
                header = line
            elif line and not line.startswith("#"):
                fields = line.split("\t")
                if len(fields) == 4 and fields[3] != "-":
                    web[fields[0].lower()] = fields[3]
    return web, header


def ask_whois(host, port, query, timeout):
    """The whole reply of a port-43 server to one query line."""
    with socket.create_connection((host, port), timeout=timeout) as s:
        s.settimeout(timeout)
        s.sendall(query.encode("ascii") + b"\r\n")
        chunks = []
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            chunks.append(chunk)
    return b"".join(chunks).decode("utf-8", "replace")


def whois_server(host, port, tld, timeout, tries=3):
    """The "whois:" value of IANA's record for tld, or '' when the record has none."""
    for attempt in range(tries):
        try:
            reply = ask_whois(host, port, tld, timeout)
        except OSError as e:
            problem = str(e)
        else:
            # A record for another name, or none at all, is no answer for this TLD.
            # An IDN's record names it in Unicode under "domain:" and as A-label
            # under "domain-ace:".
            names = re.findall(r"^domain(?:-ace)?:[ \t]*(\S+)", reply, re.M | re.I)
            if tld in (n.lower().rstrip(".") for n in names):
                found = re.search(r"^whois:[ \t]*(\S*)", reply, re.M | re.I)
                return found.group(1).lower() if found else ""
            problem = "the reply has no record for " + tld
        if attempt + 1 < tries:
            time.sleep(2 * (attempt + 1))
    sys.exit("make_tld_table: %s:%d, %s: %s" % (host, port, tld, problem))


def parse_host(value):
    host, sep, port = value.rpartition(":")
    if not sep or not port.isdigit():
        return value, 43
    return host, int(port)


def write_table(out, lines):
    directory = os.path.dirname(os.path.abspath(out))
    fd, temporary = tempfile.mkstemp(dir=directory, prefix=".tld-servers.")
    with os.fdopen(fd, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    os.chmod(temporary, 0o644)
    os.replace(temporary, out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tld-list", default=TLD_LIST, metavar="FILE_OR_URL")
    parser.add_argument("--dns-json", default=DNS_JSON, metavar="FILE_OR_URL")
    parser.add_argument("--iana-whois", default=IANA_WHOIS, metavar="HOST[:PORT]")
    parser.add_argument("--web-from", default=TABLE, metavar="EXISTING_TSV")
    parser.add_argument("--pace", type=float, default=0.2, help="seconds between whois queries")
    parser.add_argument("--timeout", type=float, default=15.0, help="seconds per request")
    parser.add_argument("-o", dest="out", default=TABLE, metavar="OUT")
    args = parser.parse_args()

    version, tlds = read_tld_list(args.tld_list, args.timeout)
    publication, rdap = read_rdap(args.dns_json, args.timeout)
    web, web_header = read_web(args.web_from)
    host, port = parse_host(args.iana_whois)

    rows = []
    for i, tld in enumerate(tlds):
        if i:
            time.sleep(args.pace)
        whois = whois_server(host, port, tld, args.timeout)
        rows.append((tld, whois or "-", rdap.get(tld, "-"), web.get(tld, "-")))
        if (i + 1) % 100 == 0:
            print("make_tld_table: %d of %d" % (i + 1, len(tlds)), file=sys.stderr)

    today = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d")
    port43 = sum(1 for r in rows if r[1] != "-")
    both = sum(1 for r in rows if r[1] != "-" and r[2] != "-")
    rdap_only = sum(1 for r in rows if r[1] == "-" and r[2] != "-")
    header = [
        COLUMNS,
        "# tlds: %s (%s), read %s" % (args.tld_list, version or "no version line", today),
        "# whois: 'whois:' line of %s port %d per TLD, asked %s; '-' = IANA lists none"
        % (host, port, today),
        "# rdap: IANA RDAP bootstrap %s publication %s (first https URL; '-' = TLD absent from IANA bootstrap)"
        % (args.dns_json, publication),
        web_header or "# web: registry web-whois page, none known; '-' = unknown",
        "# counts: total=%d port43=%d (of which also rdap=%d) rdap_only=%d neither=%d"
        % (len(rows), port43, both, rdap_only, len(rows) - port43 - rdap_only),
    ]
    write_table(args.out, header + ["\t".join(r) for r in rows])
    print("make_tld_table: wrote %d TLDs to %s" % (len(rows), args.out), file=sys.stderr)


if __name__ == "__main__":
    main()
