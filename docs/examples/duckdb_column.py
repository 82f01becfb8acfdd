import lumo
import pyarrow as pa


def add_function(connection, name, converter: lumo.Converter):
    """Makes `name(text)` convert a VARCHAR column in `connection`'s queries."""
    connection.create_function(
        name,
        lambda texts: pa.chunked_array(converter.convert_arrow(texts)),
        ["VARCHAR"],
        "VARCHAR",
        type="arrow",
    )


def convert_relation(connection, query, converter: lumo.Converter):
    """The rows of `query`, a query of one VARCHAR column, converted."""
    converted = converter.convert_arrow(connection.sql(query))  # noqa: F841 (read by name below)
    return connection.sql("select * from converted").fetchall()
