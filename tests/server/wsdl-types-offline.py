"""Compiles the types of the service's WSDL with xmlschema, as an offline tool would.

Usage: /usr/bin/python3 wsdl-types-offline.py TYPES.xsd NAMESPACE=FILE...

TYPES.xsd is the schema cut out of the WSDL's types; each NAMESPACE=FILE is a schema the
service served for an import of it, saved locally, and is offered as the local copy of what the
import names. Nothing else is used: sockets cannot be opened, remote URLs are refused, and
xmlschema's own copies of the standard schemas are turned off. Prints what the compiled schema
holds, one fact a line; exits non-zero when the schema does not compile.
"""

import os
import socket
import sys


class NoNetwork(socket.socket):
    def __init__(self, *args, **kwargs):
        raise OSError("network access attempted")


socket.socket = NoNetwork

import xmlschema  # noqa: E402

ENC = "http://schemas.xmlsoap.org/soap/encoding/"
WSDL = "http://schemas.xmlsoap.org/wsdl/"

types, hints = sys.argv[1], sys.argv[2:]
locations = [tuple(hint.split("=", 1)) for hint in hints]
schema = xmlschema.XMLSchema(types, allow="local", use_fallback=False, locations=locations)

for namespace in sorted(schema.imports):
    imported = schema.imports[namespace]
    print("import", namespace, None if imported is None else os.path.basename(imported.url))
array = schema.maps.types["{%s}TDoubleDynArray" % schema.target_namespace]
encoded = schema.maps.types["{%s}Array" % ENC]
print("TDoubleDynArray", array.derivation, array.base_type.name,
      "derived" if array.is_derived(encoded, "restriction") else "unrelated")
print("attributes", " ".join(sorted(name for name in array.attributes if name)))
print("wsdl:arrayType", "{%s}arrayType" % WSDL in schema.maps.attributes)
