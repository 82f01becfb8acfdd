"""Charts for the benchmark scripts (matplotlib, imported only when a chart is asked for)."""


def grouped_bars(path, groups, series, ylabel, title, figsize=(8, 4), decorate=None):
    """Draw to `path` one group of bars per entry of `groups`, one bar per entry of `series`
    ({label: [value per group]}), each labelled with its value; `decorate(axes, width)` may add
    more before the legend is drawn."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(figsize=figsize)
    width = 0.8 / len(series)
    middle = (len(series) - 1) / 2
    for i, (label, values) in enumerate(series.items()):
        offsets = [k + (i - middle) * width for k in range(len(groups))]
        bars = axes.bar(offsets, values, width, label=label)
        axes.bar_label(bars, fmt="%.0f", fontsize=7)
    if decorate:
        decorate(axes, width)
    axes.set_xticks(range(len(groups)), groups)
    axes.set_ylabel(ylabel)
    axes.set_title(title)
    axes.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(path, dpi=110)
