// A generic data document as text for other tools: its XML form, JSON, or
// CSV. JSON and CSV carry the leaves (nodes without children), each value in
// the text form the XML writer gives it; a node with children is an object of
// its children, its own value left out.
#pragma once

#include <varel/vts_gdata.h>

#include <string>

enum class DocumentFormat { Xml, Json, Csv };

// "xml", "json" or "csv"; false for anything else.
bool ParseDocumentFormat(const std::string& name, DocumentFormat* format);

// The document in that format, UTF-8, ending in a line end. JSON: nested
// objects in the document's order; a value whose text is a decimal number
// (optional sign, digits with an optional point, optional exponent) is a
// number, an empty one null, any other a string. CSV: a header "path,value",
// then one row per leaf: its dotted path and its text, quoted where needed.
// false when the document cannot be read (no tree).
bool FormatDocument(IGenericData* document, DocumentFormat format, std::string* text);
