#!/usr/bin/env python3
"""The n-queens puzzle with quelt.Solver: one variable per square, a queen in
every row, at most one in each row, column and diagonal (add_atmost). Counts
the solutions, each found solution blocked on the board's variables alone
(the encoding's own variables would otherwise let one board count many
times), and prints the first.

Usage: queens.py [N]   (default 8)
"""
import sys

import quelt


def queens(n):
    square = lambda r, c: r * n + c + 1
    lines = [[square(r, c) for c in range(n)] for r in range(n)]
    lines += [[square(r, c) for r in range(n)] for c in range(n)]
    for d in range(-n + 2, n - 1):
        lines.append([square(r, r - d) for r in range(n) if 0 <= r - d < n])
        lines.append([square(r, d + n - 1 - r) for r in range(n) if 0 <= d + n - 1 - r < n])
    boards = []
    with quelt.Solver() as s:
        for r in range(n):
            s.add_clause(lines[r])
        for line in lines:
            s.add_atmost(line, 1)
        while s.solve():
            model = s.get_model()
            queens_at = [l for l in model[:n * n] if l > 0]
            boards.append([(q - 1) % n for q in queens_at])  # one per row, in row order
            s.add_clause([-q for q in queens_at])
    return boards


def main(n):
    boards = queens(n)
    print("%d solutions" % len(boards))
    for column in boards[0] if boards else []:
        print(" ".join("Q" if c == column else "." for c in range(n)))


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 8)
