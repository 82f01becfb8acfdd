import lumo
import pandas as pd
import pyarrow as pa


def convert_series(texts: pd.Series, converter: lumo.Converter) -> pd.Series:
    """The text column `texts` converted, with its index, name and dtype."""
    converted = pa.chunked_array(converter.convert_arrow(pa.array(texts, from_pandas=True)))
    return pd.Series(pd.array(converted, dtype=texts.dtype), index=texts.index, name=texts.name)


# frame["text"] = convert_series(frame["text"], lumo.Converter("s2twp"))
