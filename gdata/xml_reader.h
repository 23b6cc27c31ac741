// Reads the XML form of a document into a new tree.
#pragma once

#include <varel/vts_platform.h>

#include "tree_node.h"

#include <cstddef>

// What the bytes are: a host's UTF-16 text, or a file's bytes (UTF-8, or
// UTF-16 with a byte-order mark).
enum class XmlBytes { Utf16Text, File };

// S_OK with *tree set to the new root. S_FALSE when the bytes hold no
// document element we load: not well-formed XML, invalid UTF-8, nesting
// deeper than kMaxXmlDepth or more than kMaxLoadedNodes tree nodes (one
// debug line says which and where). E_OUTOFMEMORY. *tree is only set on S_OK.
HRESULT ReadTreeFromXml(const void* bytes, size_t size, XmlBytes kind, TreeRef* tree);

// Real documents nest a handful of levels; the bound keeps hostile input
// from exhausting the stack of the recursive reader.
constexpr int kMaxXmlDepth = 1000;
// "arraybound" multiplies subtrees; the bound keeps one load's memory finite.
constexpr size_t kMaxLoadedNodes = size_t{1} << 20;
