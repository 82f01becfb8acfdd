import lumo
import polars as pl


def convert_column(frame: pl.DataFrame, converter: lumo.Converter, column="text"):
    """`frame` with its String column `column` converted."""
    return frame.with_columns(
        pl.col(column).map_batches(
            lambda texts: pl.Series(converter.convert_arrow(texts)), return_dtype=pl.String
        )
    )
