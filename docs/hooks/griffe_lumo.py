"""A griffe extension for the API reference: the stub package gives every
signature, and the compiled module, imported here, gives the docstrings, so
that each docstring is written once, in the module. A method the stubs
declare only as overloads becomes a member with those overloads."""

from __future__ import annotations

import importlib
import re
from typing import Any

import griffe


def _merge(stub: griffe.Object, runtime: object) -> None:
    if isinstance(stub, griffe.Class):
        for name, overloads in stub.overloads.items():
            if overloads and name not in stub.members:
                last = overloads[-1]
                method = griffe.Function(
                    name,
                    lineno=overloads[0].lineno,
                    endlineno=last.endlineno,
                    parameters=last.parameters,
                    returns=last.returns,
                )
                # The signature shown last is the last overload's.
                method.overloads = overloads[:-1]
                stub.set_member(name, method)
    for name, member in stub.members.items():
        if member.is_alias or not hasattr(runtime, name):
            continue
        value = getattr(runtime, name)
        doc = getattr(value, "__doc__", None)
        documented = callable(value) or isinstance(value, property) or hasattr(value, "__get__")
        if member.docstring is None and doc and documented:
            # Names such as __arrow_c_stream__ read as code, not as bold text.
            doc = re.sub(r"(?<![`\w])(__\w+__)(?![`\w])", r"`\1`", doc.strip())
            member.docstring = griffe.Docstring(doc, parent=member)
        if isinstance(member, griffe.Class):
            _merge(member, value)


class RuntimeDocstrings(griffe.Extension):
    def on_package(self, *, pkg: griffe.Module, **kwargs: Any) -> None:
        if pkg.name == "lumo":
            _merge(pkg, importlib.import_module("lumo"))
