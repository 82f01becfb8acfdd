"""Plain-text tables for the benchmark scripts."""


def print_table(headers, rows, left_columns=1):
    """Print rows under headers: the first `left_columns` left-aligned, the rest right-aligned."""
    widths = [max(len(str(r[i])) for r in (headers, *rows)) for i in range(len(headers))]
    line = "  ".join(f"{{:{'<' if i < left_columns else '>'}{w}}}" for i, w in enumerate(widths))
    print(line.format(*headers))
    print("  ".join("-" * w for w in widths))
    for row in rows:
        print(line.format(*row))
