#!/usr/bin/env python3
"""Writes a satisfiable chain formula in DIMACS CNF to standard output:

    gen_chain.py [--binary] VARS

Every variable i gets four short implications towards the variables after
it (indices wrap around past VARS):
    -i  i+1     -i  i+2     -i -(i+1)  i+3     i -(i+1)  i+2
or, with --binary, the four binary ones -i i+1 .. -i i+4. All-false
satisfies every clause, so solving is cheap and a run measures reading the
formula and the memory of a large database of short clauses: with 5000000
variables, 20 million clauses and ten million watch lists of four watchers.
"""
import sys


def main():
    args = sys.argv[1:]
    binary = "--binary" in args
    args = [a for a in args if a != "--binary"]
    if len(args) != 1 or not args[0].isdigit() or int(args[0]) < 5:
        sys.exit("usage: gen_chain.py [--binary] VARS (VARS >= 5)")
    n = int(args[0])
    out = sys.stdout
    out.write("p cnf %d %d\n" % (n, 4 * n))
    buf = []
    for i in range(1, n + 1):
        a, b, c, d = ((i + k - 1) % n + 1 for k in (1, 2, 3, 4))
        if binary:
            buf.append("-%d %d 0\n-%d %d 0\n-%d %d 0\n-%d %d 0\n" % (i, a, i, b, i, c, i, d))
        else:
            buf.append("-%d %d 0\n-%d %d 0\n-%d -%d %d 0\n%d -%d %d 0\n" % (i, a, i, b, i, a, c, i, a, b))
        if len(buf) >= 16384:
            out.write("".join(buf))
            buf.clear()
    out.write("".join(buf))


if __name__ == "__main__":
    main()
