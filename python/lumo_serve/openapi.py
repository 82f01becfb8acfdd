"""The API's OpenAPI description, served at /openapi.json. Written out here
rather than generated, and checked by tests/python/test_serve_api.py against
the routes the application has."""

from __future__ import annotations

from typing import Any

import lumo

_ERROR = {
    "description": "a refused request",
    "content": {
        "application/json": {
            "schema": {
                "type": "object",
                "properties": {"error": {"type": "string"}},
                "required": ["error"],
            }
        }
    },
}
_CUSTOM = {
    "description": 'custom words: {"key": "value"}, [["key", "value"]] or "key value|key value"',
    "oneOf": [
        {"type": "object", "additionalProperties": {"type": "string"}},
        {
            "type": "array",
            "items": {"type": "array", "items": {"type": "string"}, "minItems": 2, "maxItems": 2},
        },  # fmt: skip
        {"type": "string"},
    ],
}


def _json(schema: dict[str, Any]) -> dict[str, Any]:
    return {"content": {"application/json": {"schema": schema}}}


def _text_request(converted: bool) -> dict[str, Any]:
    properties: dict[str, Any] = {"text": {"type": "string"}}
    if converted:
        properties.update(
            {
                "config": {"type": "string", "enum": lumo.configs()},
                "from": {"type": "string", "enum": lumo.locales()},
                "to": {"type": "string", "enum": lumo.locales()},
                "custom": _CUSTOM,
            }
        )
    return {"required": True, **_json({"type": "object", "properties": properties,
                                       "required": ["text"]})}  # fmt: skip


def _post(summary: str, body: dict[str, Any], answer: dict[str, Any]) -> dict[str, Any]:
    answer = {"description": "done", **answer}
    return {
        "post": {
            "summary": summary,
            "requestBody": body,
            "responses": {"200": answer, "400": _ERROR, "413": _ERROR},
        }
    }


def _query(name: str, description: str, values: list[str] | None = None) -> dict[str, Any]:
    schema: dict[str, Any] = {"type": "string"}
    if values:
        schema["enum"] = values
    return {"name": name, "in": "query", "description": description, "schema": schema}


def schema() -> dict[str, Any]:
    span = {
        "type": "object",
        "properties": {
            "source": {"type": "string"},
            "target": {"type": "string"},
            "alternatives": {"type": "array", "items": {"type": "string"}},
            "plausible": {
                "type": "array",
                "items": {"type": "string"},
                "description": "the alternatives that matter (spans with any)",
            },
        },  # fmt: skip
        "required": ["source", "target", "alternatives"],
    }
    convert_file = _post(
        "Convert a file, answered in its own encoding",
        {
            "required": True,
            "content": {
                "application/octet-stream": {"schema": {"type": "string", "format": "binary"}}
            },
        },  # fmt: skip
        {"description": "the converted file", "content": {"text/plain": {}}},
    )
    convert_file["post"]["parameters"] = [
        _query("config", "a configuration (or give from and to)", lumo.configs()),
        _query("from", "the input's region", lumo.locales()),
        _query("to", "the output's region", lumo.locales()),
        _query("encoding", "the file's encoding (default utf-8)"),
        _query("errors", "a character the encoding cannot hold", ["strict", "replace"]),
    ]
    convert_file["post"]["responses"]["422"] = _ERROR
    return {
        "openapi": "3.1.0",
        "info": {"title": "lumo", "version": lumo.__version__},
        "paths": {
            "/api/convert": _post(
                "Convert text",
                _text_request(True),
                _json({"type": "object", "properties": {"text": {"type": "string"}}}),
            ),
            "/api/detect": _post(
                "Detect the script variant of text",
                _text_request(False),
                _json(
                    {
                        "type": "object",
                        "properties": {
                            "region": {"type": ["string", "null"]},
                            "confidence": {"type": "integer"},
                        },
                    }
                ),  # fmt: skip
            ),
            "/api/explain": _post(
                "Convert text, in spans with the alternatives the conversion chose between",
                _text_request(True),
                _json(
                    {"type": "object", "properties": {"spans": {"type": "array", "items": span}}}
                ),  # fmt: skip
            ),
            "/api/convert-file": convert_file,
            "/api/decode": {
                "post": {
                    "summary": "Decode a file in one of the command's encodings",
                    "parameters": [_query("encoding", "the file's encoding (default utf-8)")],
                    "requestBody": {
                        "required": True,
                        "content": {"application/octet-stream": {"schema": {"type": "string"}}},
                    },
                    "responses": {
                        "200": {"description": "done", **_json({"type": "object"})},
                        "400": _ERROR,
                        "413": _ERROR,
                    },
                }
            },  # fmt: skip
            "/api/encode": {
                "post": {
                    "summary": "Encode text in one of the command's encodings",
                    "parameters": [
                        _query("encoding", "the encoding (default utf-8)"),
                        _query(
                            "errors", "a character the encoding cannot hold", ["strict", "replace"]
                        ),
                    ],
                    "requestBody": _text_request(False),
                    "responses": {
                        "200": {"description": "the bytes"},
                        "400": _ERROR,
                        "413": _ERROR,
                        "422": _ERROR,
                    },
                }
            },  # fmt: skip
            "/api/configs": {
                "get": {
                    "summary": "The configurations and region codes",
                    "responses": {"200": {"description": "done", **_json({"type": "object"})}},
                }
            },
        },
    }
