import sys

import lumo
import pyarrow as pa
from pyspark.sql import SparkSession


def convert_table(spark, source, target, converter, column="text"):
    """Writes the Parquet dataset `source` to `target` with `column` converted."""
    table = spark.read.parquet(source)
    index = table.columns.index(column)

    def convert(batches):
        for batch in batches:
            field = batch.schema.field(index)
            texts = pa.array(converter.convert_arrow(batch.column(index))).cast(field.type)
            yield batch.set_column(index, field, texts)

    table.mapInArrow(convert, table.schema).write.parquet(target)


if __name__ == "__main__":
    # spark-submit --master local[2] (or the cluster's) --conf spark.executorEnv.LUMO_THREADS=1
    spark = SparkSession.builder.appName("lumo").getOrCreate()
    convert_table(spark, sys.argv[1], sys.argv[2], lumo.Converter(sys.argv[3]))
    spark.stop()
