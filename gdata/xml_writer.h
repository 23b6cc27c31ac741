// Writes a tree in its XML form.
#pragma once

#include "tree_node.h"

#include <string>

// The text form starts from the bare template; the file form carries a comment
// between the declaration and the document element.
enum class XmlTemplate { Text, File };

// The UTF-8 text of the document: one element "Para" (attributes "id" and
// "value") per line in name order, indented two blanks per depth. A root
// without children gives the bare template. Equal trees give equal text.
// Throws std::bad_alloc.
std::string WriteTreeAsXml(const TreeNode& root, XmlTemplate form);
