#!/usr/bin/env python3
"""Writes INSERT statements for a demo Velto database to standard output.

  make_data.py demo        a few dozen mappings with names an administrator recognises
  make_data.py large N     N subscribers and N mappings (for load and scrolling checks)
"""
import struct
import sys
import uuid


def sid_bytes(text):
    """Binary form of a textual SID such as S-1-5-21-1-2-3-1001."""
    parts = text.split("-")
    authority = int(parts[2])
    subs = [int(p) for p in parts[3:]]
    return (struct.pack("BB", 1, len(subs)) + authority.to_bytes(6, "big")
            + b"".join(struct.pack("<I", s) for s in subs))


def blob(text):
    return "X'" + sid_bytes(text).hex().upper() + "'"


def quote(text):
    return "'" + text.replace("'", "''") + "'"


def guid(n):
    return str(uuid.UUID(int=(0x5EED << 96) + n)).upper()


def demo():
    # Accounts the demo machine resolves (its own and well-known ones) and accounts of a
    # domain that is gone, as an administrator meets them after a migration.
    subscribers = [
        ("root", "Root Admin"), ("jdoe", "John Doe"), ("annas", "Anna Smith"),
        ("helpdesk", "Help Desk"), ("pbrenner", "Paul Brenner"), ("kwang", "Kim Wang"),
        ("mfischer", "Maria Fischer"), ("lopez", "Luis Lopez"), ("operators", "Operators"),
        ("everyone", "All Users"),
    ]
    out = ["BEGIN;"]
    for i, (uid, name) in enumerate(subscribers, 1):
        out.append("INSERT INTO Subscriber VALUES (%s,%s,%s,%s);" % (
            quote("OBJ-%04d" % i), quote(uid), quote(uid), quote(name)))
    mappings = [
        (1, "S-1-5-21-0-0-0-1000", 1), (1, "S-1-5-21-0-0-0-500", 0), (3, "S-1-5-32-544", 0),
        (4, "S-1-5-32-545", 1), (10, "S-1-1-0", 1), (9, "S-1-5-18", 0),
        (2, "S-1-5-21-3623811015-3361044348-30300820-1013", 1),
        (5, "S-1-5-21-3623811015-3361044348-30300820-1107", 0),
        (6, "S-1-5-21-3623811015-3361044348-30300820-1210", 1),
        (7, "S-1-5-21-3623811015-3361044348-30300820-1311", 0),
        (8, "S-1-5-32-555", 0), (11, "S-1-5-19", 0), (3, "S-1-5-20", 1),
        # Numbers the machine's own domain (S-1-5-21-0-0-0 under Wine) has no account for:
        # accounts deleted from this machine, which it answers for itself.
        (6, "S-1-5-21-0-0-0-1142", 0), (8, "S-1-5-21-0-0-0-1143", 1),
    ]
    for n, (sub, sid, primary) in enumerate(mappings, 1):
        out.append("INSERT INTO Credential VALUES (%s,%s,%d,%s);" % (
            quote("OBJ-%04d" % sub), blob(sid), primary, quote(guid(n))))
        out.append("INSERT INTO SIDHistory VALUES (%s,%s,%d,%s);" % (
            quote("OBJ-%04d" % sub), blob(sid), primary, quote(guid(1000 + n))))
    # A column damaged by hand: bytes that hold no SID at all.
    n = len(mappings) + 1
    out.append("INSERT INTO Credential VALUES (%s,X'0105AB',0,%s);" % (quote("OBJ-0007"), quote(guid(n))))
    out.append("INSERT INTO SIDHistory VALUES (%s,X'0105AB',0,%s);" % (quote("OBJ-0007"), quote(guid(1000 + n))))
    out.append("COMMIT;")
    return out


def large(n):
    out = ["BEGIN;"]
    for i in range(1, n + 1):
        uid = "user%06d" % i
        out.append("INSERT INTO Subscriber VALUES (%s,%s,%s,%s);" % (
            quote("OBJ-%07d" % i), quote(uid), quote(uid), quote("User %d" % i)))
    for i in range(1, n + 1):
        # Every tenth mapping is a well-known SID that resolves; the rest belong to a
        # domain that no longer answers.
        sid = "S-1-5-32-545" if i % 10 == 0 else "S-1-5-21-1-2-3-%d" % (1000 + i)
        out.append("INSERT INTO Credential VALUES (%s,%s,%d,%s);" % (
            quote("OBJ-%07d" % i), blob(sid), 1 if i % 3 == 0 else 0, quote(guid(i))))
    out.append("COMMIT;")
    return out


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "large":
        lines = large(int(sys.argv[2]) if len(sys.argv) > 2 else 100000)
    else:
        lines = demo()
    sys.stdout.write("\n".join(lines) + "\n")
