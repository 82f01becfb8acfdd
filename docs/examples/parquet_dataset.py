import lumo
import pyarrow as pa
import pyarrow.dataset as ds
import pyarrow.parquet as pq


def convert_dataset(source, target, converter: lumo.Converter, column="text", rows=65_536):
    """Writes the Parquet dataset `source` (a file or a folder) to the Parquet file `target`
    with its text column `column` converted, `rows` rows at a time."""
    dataset = ds.dataset(source, format="parquet")
    index = dataset.schema.get_field_index(column)
    field = dataset.schema.field(index)
    with pq.ParquetWriter(target, dataset.schema) as writer:
        for batch in dataset.to_batches(batch_size=rows):
            texts = pa.array(converter.convert_arrow(batch.column(index))).cast(field.type)
            writer.write_batch(batch.set_column(index, field, texts))
